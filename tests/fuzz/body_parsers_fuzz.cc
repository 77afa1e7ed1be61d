// Fuzzes the request body parsers over a real temporary data directory.
//
// Input layout: byte 0 picks the parser (URL-encoded, multipart with the
// boundary in the content type, multipart learning it, JSON, other), byte 1
// seeds the piece sizes, byte 2 picks the validation limit of uploads; for
// multipart the content type follows up to the first LF; the rest is the
// body.
//
// Each body is parsed twice, whole and in random pieces: the variables and
// the upload calls must agree. Every upload handed to the processing
// function must hold what its status says, and no temporary file may
// outlive the parser.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/run_log.h"
#include "files/file_environment.h"
#include "files/file_manager.h"
#include "image/dictionary.h"
#include "server/buffered_content_parser.h"
#include "server/multipart_form_parser.h"
#include "server/upload_handler.h"
#include "server/url_encoded_parser.h"
#include "variables/variable.h"
#include "variables/variable_hash.h"

namespace {

namespace fs = std::filesystem;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

struct DataDirectory {
  DataDirectory() : files(&environment) {
    std::string pattern = (fs::temp_directory_path() / "orin-body-fuzz-XXXXXX").string();
    Check(mkdtemp(pattern.data()) != nullptr);
    path = pattern;
    Check(files.SetDataDirectory(path));
  }
  ~DataDirectory() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  bool Empty() const { return fs::is_empty(path); }

  std::string path;
  orin::SimpleFileEnvironment environment;
  orin::FileManager files;
};

DataDirectory& Data() {
  static DataDirectory data;
  return data;
}

class FuzzUploads : public orin::UploadHandler {
 public:
  explicit FuzzUploads(int32_t limit) : limit_(limit) {}

  bool FindFunction(std::string_view name, int* parameter_count) override {
    *parameter_count = name == "Zeto_ValidateFileUpload" ? 3 : 6;
    return true;
  }
  bool CallFunction(std::string_view name, const std::vector<orin::Variable*>& args,
                    orin::Variable* result) override {
    std::string call(name);
    for (size_t i = 0; i < args.size(); ++i) {
      if (i != 3) call += "|" + args[i]->Value().str();  // not the temporary name
    }
    log.push_back(call);
    if (args.size() == 3) {
      result->SetValue_Integer(limit_);
      return true;
    }
    CheckUpload(args);
    return true;
  }
  void RestartGlobalTimer() override {}
  void StartPostTimer() override {}
  void StopPostTimer() override {}

  std::vector<std::string> log;

 private:
  void CheckUpload(const std::vector<orin::Variable*>& args) {
    Check(args.size() == 6);
    std::error_code ec;
    auto on_disk =
        static_cast<int64_t>(fs::file_size(Data().path + "/" + args[3]->Value().str(), ec));
    Check(!ec);
    int64_t received = std::stoll(args[5]->Value().str());
    std::string status = args[2]->Value().str();
    if (status == "COMPLETE") {
      Check(on_disk == received && (limit_ == 0 || received <= limit_));
    } else {
      Check(status == "PARTIAL" && limit_ > 0 && on_disk == limit_ && received > limit_);
    }
  }

  int32_t limit_;
};

struct Outcome {
  bool ok;
  std::string error;
  std::string variables;
  std::vector<std::string> uploads;
};

std::string Dump(orin::VariableHash& scope) {
  std::string out;
  for (uint32_t e = 0; e < scope.Entries(); ++e) {
    orin::Variable* v = scope.Index(static_cast<int32_t>(e), false);
    if (v == nullptr) continue;
    out += std::string(scope.EntryName(e)) + "=";
    orin::AppendVariableDump(v, &out);
    out += "\n";
  }
  return out;
}

Outcome Parse(int kind, std::string_view type, std::string_view body, uint32_t seed,
              int32_t limit) {
  orin::Dictionary dictionary;
  orin::UserVariableHash scope(&dictionary, 6);
  FuzzUploads uploads(limit);
  std::unique_ptr<orin::HTTPContentParser> parser;
  switch (kind) {
    case 0:
      parser = std::make_unique<orin::URLEncodedParser>(&scope, 50);
      break;
    case 1:
    case 2:
      parser =
          std::make_unique<orin::MultipartFormParser>(&uploads, &Data().files, &scope, type, 50);
      break;
    case 3:
      parser = std::make_unique<orin::JSONContentParser>(&scope, static_cast<int64_t>(body.size()));
      break;
    default:
      parser =
          std::make_unique<orin::UnknownContentHandler>(&scope, static_cast<int64_t>(body.size()));
      break;
  }
  bool ok = true;
  for (size_t at = 0; ok && at < body.size();) {
    size_t piece = body.size() - at;
    if (seed != 0) {
      seed = seed * 1103515245u + 12345u;
      piece = std::min<size_t>(piece, 1 + (seed >> 16) % 97);
    }
    ok = parser->Feed(body.data() + at, static_cast<int32_t>(piece));
    at += piece;
  }
  ok = ok && parser->Finish();
  Outcome outcome{ok, parser->ErrorText(), Dump(scope), uploads.log};
  parser.reset();
  Check(Data().Empty());
  if (kind >= 3) {
    orin::Variable* content = nullptr;
    scope.Find(&content, "content_data", -1, false);
    Check(content != nullptr && content->Value().view() == body);
  }
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  int kind = data[0] % 5;
  uint32_t seed = data[1] | 1u;
  constexpr int32_t kLimits[] = {0, -1, 1, 7, 100, 4096};
  int32_t limit = kLimits[data[2] % 6];
  std::string_view rest(reinterpret_cast<const char*>(data) + 3, size - 3);
  std::string type;
  if (kind == 1) {
    size_t lf = rest.find('\n');
    type = "multipart/form-data; " + std::string(rest.substr(0, lf));
    rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
  } else if (kind == 2) {
    type = "multipart/form-data";
  }
  Outcome whole = Parse(kind, type, rest, 0, limit);
  Outcome pieces = Parse(kind, type, rest, seed, limit);
  Check(whole.ok == pieces.ok);
  Check(whole.error == pieces.error);
  Check(whole.variables == pieces.variables);
  Check(whole.uploads == pieces.uploads);
  return 0;
}
