// Text encoders the plug-in interface offers: HTML entities (markup and
// attribute values), their decoding, and JavaScript string literals.
#ifndef ORIN_LIBRARIES_TEXT_CODECS_H_
#define ORIN_LIBRARIES_TEXT_CODECS_H_

#include <string>
#include <string_view>

namespace orin {

// & < > " ' as entities.
std::string EntityEncoded(std::string_view text);
// The same, plus tab, line feed and carriage return as numeric entities,
// so that the value survives attribute normalisation.
std::string AttributeEncoded(std::string_view text);
// Named entities amp, lt, gt, quot, apos and nbsp, and numeric ones
// (&#65; &#x41;) written as UTF-8; anything else is kept as it stands.
std::string EntityDecoded(std::string_view text);
// Backslash escapes for \ ' " and control characters, and "<\/" for "</"
// so that the literal can sit inside a script element.
std::string JavaScriptStringEncoded(std::string_view text);

}  // namespace orin

#endif  // ORIN_LIBRARIES_TEXT_CODECS_H_
