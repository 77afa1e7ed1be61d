// The examples of docs/ztasm.md (```asm blocks) assemble.
#include <gtest/gtest.h>

#include <sstream>

#include "asm/assembler.h"
#include "image/image_test_util.h"

namespace orin {
namespace {

std::vector<std::string> Examples(const std::string& manual) {
  std::vector<std::string> examples;
  std::istringstream in(manual);
  std::string line, block;
  size_t indent = std::string::npos;
  while (std::getline(in, line)) {
    size_t fence = line.find("```");
    if (indent == std::string::npos) {
      if (fence != std::string::npos && line.substr(fence) == "```asm") indent = fence;
    } else if (fence != std::string::npos) {
      examples.push_back(block);
      block.clear();
      indent = std::string::npos;
    } else {
      block += (line.size() > indent ? line.substr(indent) : "") + "\n";
    }
  }
  return examples;
}

TEST(Manual, ExamplesAssemble) {
  std::vector<std::string> examples =
      Examples(test::TempDir::Read(ORIN_SOURCE_DIR "/docs/ztasm.md"));
  ASSERT_GE(examples.size(), 5u);
  for (const std::string& example : examples) {
    std::string error;
    EXPECT_FALSE(AssembleOrEmpty(example, &error).empty()) << example << "\n" << error;
  }
}

}  // namespace
}  // namespace orin
