// Loading assembled bytes for the tools' tests.
#ifndef ORIN_TESTS_TOOLS_TOOLS_TEST_UTIL_H_
#define ORIN_TESTS_TOOLS_TOOLS_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "asm/assembler.h"
#include "image/program_image.h"
#include "util/memory_stream.h"

namespace orin::test {

// A program assembled from source and loaded the way the runtime loads it.
class Assembled {
 public:
  explicit Assembled(std::string_view source, LanguageSource* languages = nullptr)
      : image(languages) {
    std::string error;
    bytes = AssembleOrEmpty(source, &error);
    EXPECT_FALSE(bytes.empty()) << error;
    stream = std::make_unique<MemoryStream>(bytes);
    ok = !bytes.empty() && file.Attach("t.ztc", stream.get());
    ok = ok && image.Load(file, LoadOrder::kMainScript);
    EXPECT_TRUE(ok) << image.failed_section() << ": " << image.ErrorText();
  }
  // The code of a segment as a byte string.
  std::string Code(uint32_t segment) const {
    const Segment* s = image.segments.Get(segment);
    return s ? std::string(reinterpret_cast<const char*>(s->code()), s->length()) : "";
  }

  std::string bytes;
  std::unique_ptr<MemoryStream> stream;
  TaggedFile file;
  ProgramImage image;
  bool ok = false;
};

}  // namespace orin::test

#endif  // ORIN_TESTS_TOOLS_TOOLS_TEST_UTIL_H_
