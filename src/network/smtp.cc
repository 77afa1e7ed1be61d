#include "network/smtp.h"

#include "image/opcodes.h"
#include "platform/clock.h"
#include "platform/process_info.h"
#include "util/config.h"
#include "vm/tag_instructions.h"
#include "vm/zeto_application.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

constexpr int32_t kSmtpTag = 11;
constexpr int kMaxSmtpOperands = 9;

}  // namespace

SMTP::SMTP(ZetoVM& machine)
    : Feature(FeatureKind::kSmtp, machine.CurrentFrame()), machine_(machine) {}

SMTP::~SMTP() {
  RestoreOutput();
  // A block left before its end: the text stays unfinished and the
  // connection is dropped, so the server delivers nothing.
  if (output_) output_->Abandon();
}

void SMTP::RestoreOutput() {
  if (!active_) return;
  machine_.application()->SetOutput(previous_);
  active_ = false;
}

bool SMTP::Start(const SmtpInputs& in) {
  ZetoApplication* app = machine_.application();
  Config* config = app->GetConfig();
  uint32_t flags = 0;
  if (!ParseSmtpFlags(in.flags, &flags, &error_)) return false;
  int32_t timeout = config->GetInt(config_key::kTimeoutMail);
  int32_t block = config->GetInt(config_key::kBufszSmtp);
  if (block <= 0 || block > (64 << 20)) block = 8192;
  service_ =
      std::make_unique<SMTPService>(app->GetNetworkManager(), in.host, in.port > 0 ? in.port : 25,
                                    timeout, in.user, in.password, flags);
  if (!service_->Open(app->LocalAddress()) ||
      !service_->SendEnvelope(in.sender, in.recipients, in.cc)) {
    error_ = service_->ErrorText();
    return false;
  }
  output_ = std::make_unique<SMTPOutput>(app->GetOutput(), service_->connection(), block, timeout);
  service_->WriteHeaders(output_.get(), in.sender, in.recipients, in.cc, in.subject,
                         CurrentUserName(), WallClockSeconds());
  previous_ = app->SetOutput(output_.get());
  active_ = true;
  return true;
}

bool SMTP::End() {
  RestoreOutput();
  if (!output_ || !service_) return false;
  if (!output_->FinishText()) {
    error_ = output_->LastError();
    service_->Close();
    return false;
  }
  if (!service_->Finish()) {
    error_ = service_->ErrorText();
    return false;
  }
  return true;
}

namespace {

// Pops the tag's operands; the last pushed is on top.
bool PopSmtpInputs(ZetoVM& vm, int count, SmtpInputs* in) {
  std::string* texts[kMaxSmtpOperands + 1] = {nullptr,   &in->recipients, &in->sender, &in->host,
                                              &in->cc,   &in->subject,    nullptr,     &in->flags,
                                              &in->user, &in->password};
  for (int i = count; i >= 1; --i) {
    if (i == 6) {
      in->port = vm.PopInteger();
    } else if (!vm.PopText(texts[i])) {
      return false;
    }
  }
  return true;
}

void Begin(ZetoVM& vm, const TagInstruction& ins, int count) {
  int64_t skip = int64_t{ins.next} + ins.a;
  if (count < 0) count = 0;
  for (; count > kMaxSmtpOperands; --count)
    vm.PopDiscard();
  SmtpInputs in;
  if (!PopSmtpInputs(vm, count, &in)) return;
  auto smtp = std::make_unique<SMTP>(vm);
  if (!smtp->Start(in)) {
    vm.RuntimeError(kSmtpTag, smtp->ErrorText());
    vm.Jump(skip);
    return;
  }
  vm.Features().Push(std::move(smtp));
}

void OpSmtp(ZetoVM& vm, const TagInstruction& ins) {
  Begin(vm, ins, 5);
}

void OpSmtpn(ZetoVM& vm, const TagInstruction& ins) {
  Begin(vm, ins, ins.b);
}

void OpSmtpEnd(ZetoVM& vm, const TagInstruction&) {
  Feature* f = vm.Features().Innermost(FeatureKind::kSmtp);
  if (f == nullptr) {
    vm.FatalError("Invalid instruction");
    return;
  }
  auto* smtp = static_cast<SMTP*>(f);
  bool ok = smtp->End();
  std::string error = smtp->ErrorText();
  vm.Features().Stop(f);
  if (ok) {
    vm.ClearTagError(kSmtpTag);
  } else {
    vm.RuntimeError(kSmtpTag, error);
  }
}

}  // namespace

void InstallPop3Instructions();

void InstallMailInstructions() {
  SetTagInstructionHandler(kOpSmtp, OpSmtp);
  SetTagInstructionHandler(kOpSmtpn, OpSmtpn);
  SetTagInstructionHandler(kOpSmtpEnd, OpSmtpEnd);
  InstallPop3Instructions();
}

}  // namespace orin
