#include "network/pop3.h"

#include <cstdio>

#include "files/file.h"
#include "files/file_manager.h"
#include "image/opcodes.h"
#include "network/mail_reply.h"
#include "network/network_manager.h"
#include "util/config.h"
#include "util/stream.h"
#include "variables/variable_hash.h"
#include "vm/tag_instructions.h"
#include "vm/zeto_application.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

constexpr int32_t kPopTag = 8;
constexpr const char* kNoSubject = "(no subject)";

bool ParseUnsigned(std::string_view text, uint64_t limit, uint64_t* out) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    if (v > (limit - static_cast<uint64_t>(c - '0')) / 10) return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  *out = v;
  return true;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace

bool ParsePop3Address(std::string_view text, Pop3Address* out) {
  *out = Pop3Address();
  text = TrimSpaceTabCrLf(text);
  bool scheme = false;
  if (text.size() >= 8 && EqualsNoCase(text.substr(0, 8), "pop3s://")) {
    out->tls = true, out->port = 995, scheme = true;
    text.remove_prefix(8);
  } else if (text.size() >= 7 && EqualsNoCase(text.substr(0, 7), "pop3://")) {
    text.remove_prefix(7);
  }
  std::string_view port;
  if (!text.empty() && text[0] == '[') {
    size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    out->host.assign(text.substr(1, close - 1));
    std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest[0] != ':') return false;
      port = rest.substr(1);
    }
  } else {
    size_t colon = text.find(':');
    // A second colon makes it an IPv6 address without a port.
    if (colon != std::string_view::npos && text.find(':', colon + 1) == std::string_view::npos) {
      out->host.assign(text.substr(0, colon));
      port = text.substr(colon + 1);
    } else {
      out->host.assign(text);
    }
  }
  if (!port.empty()) {
    uint64_t p = 0;
    if (!ParseUnsigned(port, 65535, &p) || p == 0) return false;
    out->port = static_cast<int>(p);
    if (!scheme && p == 995) out->tls = true;
  }
  return true;
}

POP3::POP3(ZetoVM& machine, NetworkManager* manager, const Pop3Address& address, int timeout,
           std::string directory)
    : Feature(FeatureKind::kPop3, machine.CurrentFrame()),
      NetworkService(manager, address.host, address.port, timeout),
      machine_(machine),
      tls_(address.tls),
      directory_(std::move(directory)) {
  while (!directory_.empty() && (directory_.back() == '/' || directory_.back() == '\\'))
    directory_.pop_back();
}

POP3::~POP3() {
  Quit();
}

void POP3::Quit() {
  if (!connection_) return;
  std::string text;
  Command("QUIT\r\n", &text);
  Close();
}

bool POP3::Command(const std::string& line, std::string* text) {
  // After a failed send or an unreadable reply the dialogue is lost: the
  // connection is closed without QUIT rather than waited on again.
  if (!connection_) return Fail("Error sending data to server");
  if (!line.empty() && connection_->Write(line, timeout_) < 0) {
    Close();
    return Fail("Error sending data to server");
  }
  switch (ReadPop3Status(connection_.get(), timeout_, text)) {
    case Pop3Status::kOk:
      return true;
    case Pop3Status::kError:
      return Fail(*text);
    case Pop3Status::kUnreadable:
      break;
  }
  Close();
  return Fail("Invalid response from server");
}

bool POP3::Start(const std::string& user, const std::string& password) {
  if (!Connect()) return false;
  std::string text;
  if (tls_ && !manager_->StartTls(connection_.get(), host_, TlsOptions(), timeout_, 0)) {
    Close();
    return Fail("Error connecting to '" + host_ + "': " + manager_->ErrorText());
  }
  if (!Command("", &text)) return Fail("Error connecting to '" + host_ + "': " + error_);
  if (!Command("USER " + user + "\r\n", &text) || !Command("PASS " + password + "\r\n", &text))
    return Fail("Error logging into '" + host_ + "': " + error_);
  if (!Command("STAT\r\n", &text))
    return Fail("Error while checking status from '" + host_ + "': " + error_);
  uint64_t count = 0;
  if (!ParseUnsigned(text.substr(0, text.find(' ')), 0xFFFFFFFF, &count))
    return Fail("Error while checking status from '" + host_ + "': Invalid response from server");
  stat_count_ = static_cast<uint32_t>(count);

  std::string list_error = "Error while retrieving list of messages from '" + host_ + "': ";
  if (!Command("LIST\r\n", &text)) return Fail(list_error + error_);
  Pop3LineReader reader(connection_.get(), timeout_);
  std::string line;
  for (;;) {
    int r = reader.Next(&line);
    if (r < 0) {
      Close();
      return Fail(list_error + "Invalid response from server");
    }
    if (r == 0) break;
    std::string_view l = TrimSpaceTabCrLf(line);
    size_t space = l.find(' ');
    uint64_t number = 0, size = 0;
    if (space == std::string_view::npos ||
        !ParseUnsigned(l.substr(0, space), 0xFFFFFFFF, &number) ||
        !ParseUnsigned(TrimSpaceTabCrLf(l.substr(space + 1)), UINT64_MAX / 2, &size))
      return Fail(list_error + "Invalid response from server");
    if (messages_.size() >= stat_count_)
      return Fail(list_error + "More messages than expected returned from server");
    messages_.push_back(POP3Message{static_cast<uint32_t>(number), size, std::string()});
  }
  return true;
}

int POP3::NextMessage() {
  if (current_ >= messages_.size()) return 0;
  POP3Message& message = messages_[current_++];
  if (!Retrieve(&message)) return -1;
  SetVariables();
  return 1;
}

bool POP3::Retrieve(POP3Message* message) {
  FileManager* files = machine_.application()->GetFileManager();
  if (files == nullptr) return Fail("Error retrieving message: no file access");
  char name[32];
  std::snprintf(name, sizeof name, "ZTPOPM.%x", message->number);
  message->file = directory_.empty() ? std::string(name) : directory_ + "/" + name;
  std::unique_ptr<File> file =
      files->Open(kDataArea, message->file, kOpenWrite | kOpenCreate | kOpenTruncate);
  if (!file) return Fail(files->ErrorText());

  std::string text;
  if (!Command("RETR " + std::to_string(message->number) + "\r\n", &text))
    return Fail("Error retrieving message: " + error_);
  headers_.clear();
  bool in_header = true;
  std::string last_name;
  std::string line;
  std::string out;
  Pop3LineReader reader(connection_.get(), timeout_);
  for (;;) {
    int r = reader.Next(&line);
    if (r < 0) {
      Close();
      return Fail("Error retrieving message: " + reader.error());
    }
    if (r == 0) break;
    if (in_header) {
      if (line.empty()) {
        in_header = false;
      } else if ((line[0] == ' ' || line[0] == '\t') && !last_name.empty()) {
        // A folded line continues the previous field.
        std::string& value = headers_[last_name];
        value.push_back(' ');
        value.append(TrimSpaceTabCrLf(line));
      } else if (size_t colon = line.find(':'); colon != std::string::npos && colon > 0) {
        last_name = Lower(TrimSpaceTabCrLf(std::string_view(line).substr(0, colon)));
        headers_.try_emplace(
            last_name, std::string(TrimSpaceTabCrLf(std::string_view(line).substr(colon + 1))));
      }
    }
    out.assign(line);
    out.append("\r\n");
    if (file->Write(out.data(), static_cast<int32_t>(out.size())) !=
        static_cast<int32_t>(out.size()))
      return Fail("Error retrieving message: " + file->ErrorText());
  }
  return true;
}

void POP3::SetText(const char* name, std::string_view value) {
  machine_.Locals()->SetVariable(name, -1, value.data(), static_cast<int64_t>(value.size()));
}

void POP3::SetVariables() {
  auto field = [this](const char* name) -> std::string {
    auto it = headers_.find(name);
    return it == headers_.end() ? std::string() : it->second;
  };
  std::string subject = field("subject");
  std::string from = field("from");
  std::string reply_to = field("reply-to");
  SetText("messagebody", messages_[current_ - 1].file);
  SetText("messagesubject", subject.empty() ? std::string(kNoSubject) : subject);
  SetText("messagesender", from);
  SetText("messagereplyto", reply_to.empty() ? from : reply_to);
  SetText("messagedate", field("date"));
}

bool POP3::DeleteCurrent() {
  if (current_ == 0 || current_ > messages_.size()) return Fail("No messages exist");
  uint32_t number = messages_[current_ - 1].number;
  std::string text;
  if (!Command("DELE " + std::to_string(number) + "\r\n", &text))
    return Fail("Error deleting message #" + std::to_string(number) + ": " + error_);
  return true;
}

namespace {

void Pop3Begin(ZetoVM& vm, const TagInstruction& ins) {
  int64_t skip = int64_t{ins.next} + ins.a;
  std::string host, user, password, directory;
  if (!vm.PopText(&directory) || !vm.PopText(&password) || !vm.PopText(&user) || !vm.PopText(&host))
    return;
  std::erase(directory, '\0');
  ZetoApplication* app = vm.application();
  Pop3Address address;
  if (!ParsePop3Address(host, &address)) {
    vm.RuntimeError(kPopTag, "Error connecting to '" + host + "': Invalid port");
    vm.Jump(skip);
    return;
  }
  int timeout = app->GetConfig()->GetInt(config_key::kTimeoutMail);
  auto pop = std::make_unique<POP3>(vm, app->GetNetworkManager(), address, timeout, directory);
  int r = pop->Start(user, password) ? pop->NextMessage() : -1;
  if (r < 0) {
    std::string error = pop->ErrorText();
    pop.reset();  // QUIT first: the error text may stop the run
    vm.RuntimeError(kPopTag, error);
    vm.Jump(skip);
    return;
  }
  vm.ClearTagError(kPopTag);
  if (r == 0) {
    vm.Jump(skip);
    return;
  }
  vm.Features().Push(std::move(pop));
}

POP3* Innermost(ZetoVM& vm) {
  Feature* f = vm.Features().Innermost(FeatureKind::kPop3);
  if (f == nullptr) return nullptr;
  return static_cast<POP3*>(f);
}

void Pop3Loop(ZetoVM& vm, const TagInstruction& ins) {
  POP3* pop = Innermost(vm);
  if (pop == nullptr) {
    vm.FatalError("Invalid instruction");
    return;
  }
  int r = pop->NextMessage();
  if (r == 1) {
    vm.Jump(int64_t{ins.next} + ins.a);
    return;
  }
  std::string error = pop->ErrorText();
  vm.Features().Stop(pop);
  if (r < 0) vm.RuntimeError(kPopTag, error);
}

void Pop3Stop(ZetoVM& vm, const TagInstruction& ins) {
  POP3* pop = Innermost(vm);
  if (pop == nullptr) {
    vm.FatalError("Invalid instruction");
    return;
  }
  vm.Features().Stop(pop);
  vm.Jump(int64_t{ins.next} + ins.a);
}

void Pop3Delete(ZetoVM& vm, const TagInstruction&) {
  POP3* pop = Innermost(vm);
  if (pop == nullptr) {
    vm.RuntimeError(kPopTag, "No messages exist");
    return;
  }
  if (pop->DeleteCurrent()) {
    vm.ClearTagError(kPopTag);
  } else {
    vm.RuntimeError(kPopTag, pop->ErrorText());
  }
}

}  // namespace

void InstallPop3Instructions() {
  SetTagInstructionHandler(kPop3, Pop3Begin);
  SetTagInstructionHandler(kPop3loop, Pop3Loop);
  SetTagInstructionHandler(kPop3stop, Pop3Stop);
  SetTagInstructionHandler(kPop3delete, Pop3Delete);
}

}  // namespace orin
