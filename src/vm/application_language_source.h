// The localized texts of a run follow the application's language settings.
#ifndef ORIN_VM_APPLICATION_LANGUAGE_SOURCE_H_
#define ORIN_VM_APPLICATION_LANGUAGE_SOURCE_H_

#include "image/localized.h"
#include "vm/zeto_application.h"

namespace orin {

class ApplicationLanguageSource : public LanguageSource {
 public:
  explicit ApplicationLanguageSource(ZetoApplication* app) : app_(app) {}
  std::string_view CurrentLanguage() const override { return app_->Language(); }
  uint32_t CurrentLanguageCounter() const override { return app_->LanguageCounter(); }
  std::string_view DefaultLanguage() const override { return app_->DefaultLanguage(); }
  uint32_t DefaultLanguageCounter() const override { return app_->DefaultLanguageCounter(); }

 private:
  ZetoApplication* app_;
};

}  // namespace orin

#endif  // ORIN_VM_APPLICATION_LANGUAGE_SOURCE_H_
