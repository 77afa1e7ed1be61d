// The bodies of the library's functions, one per script function (see
// table.cc for the names and parameters).
#ifndef ORIN_STD_FUNCTIONS_H_
#define ORIN_STD_FUNCTIONS_H_

namespace orin_std {

class Call;

void ArrCount(Call& c);
void ArrFind(Call& c);
void ArrKeys(Call& c);
void ArrMerge(Call& c);
void ArrPush(Call& c);
void ArrRsort(Call& c);
void ArrSlice(Call& c);
void ArrSort(Call& c);
void ArrValues(Call& c);
void B64Decode(Call& c);
void B64Encode(Call& c);
void CharsetConvert(Call& c);
void DateAdd(Call& c);
void DateDiff(Call& c);
void DateFormat(Call& c);
void DateMake(Call& c);
void DateNow(Call& c);
void DateOffset(Call& c);
void DateParse(Call& c);
void DateWeekday(Call& c);
void FileAppend(Call& c);
void FileDelete(Call& c);
void FileExists(Call& c);
void FileList(Call& c);
void FileRead(Call& c);
void FileWrite(Call& c);
void HashHmac(Call& c);
void HashMd5(Call& c);
void HashSha1(Call& c);
void HashSha256(Call& c);
void HexDecodeFn(Call& c);
void HexEncodeFn(Call& c);
void HtmlDecodeFn(Call& c);
void HtmlEncodeFn(Call& c);
void IdRandom(Call& c);
void IdSession(Call& c);
void IdUuid(Call& c);
void JsonDecode(Call& c);
void JsonEncode(Call& c);
void NumAbs(Call& c);
void NumCeil(Call& c);
void NumExp(Call& c);
void NumFloor(Call& c);
void NumFormat(Call& c);
void NumLn(Call& c);
void NumLog10(Call& c);
void NumMax(Call& c);
void NumMin(Call& c);
void NumMod(Call& c);
void NumPow(Call& c);
void NumRandom(Call& c);
void NumRound(Call& c);
void NumSqrt(Call& c);
void NumTrunc(Call& c);
void NumValid(Call& c);
void ReAll(Call& c);
void ReGroups(Call& c);
void ReMatch(Call& c);
void ReNamed(Call& c);
void ReReplace(Call& c);
void ReSplit(Call& c);
void StrEnds(Call& c);
void StrFind(Call& c);
void StrJoin(Call& c);
void StrLen(Call& c);
void StrLower(Call& c);
void StrLpad(Call& c);
void StrLtrim(Call& c);
void StrRepeat(Call& c);
void StrReplace(Call& c);
void StrRfind(Call& c);
void StrRpad(Call& c);
void StrRtrim(Call& c);
void StrSplit(Call& c);
void StrStarts(Call& c);
void StrSub(Call& c);
void StrTrim(Call& c);
void StrUpper(Call& c);
void UrlDecodeFn(Call& c);
void UrlEncodeFn(Call& c);
void Utf8Len(Call& c);
void Utf8SubFn(Call& c);
void Utf8Valid(Call& c);

}  // namespace orin_std

#endif  // ORIN_STD_FUNCTIONS_H_
