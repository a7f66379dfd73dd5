#include "runtime/Sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace tolvane {
namespace {

// The published test vectors, and inputs around the padding's block edges
// fed in uneven pieces (each must give the digest of the whole).
TEST(Sha256, StandardVectorsWholeAndInPieces) {
  struct Case {
    std::string input;
    const char* digest;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sha256Hex(c.input), c.digest) << c.input.size() << " bytes";
    Sha256 pieces;
    std::string_view rest = c.input;
    for (std::size_t step = 1; !rest.empty(); step = step * 3 + 1) {
      const std::size_t taken = step < rest.size() ? step : rest.size();
      pieces.Update(rest.substr(0, taken));
      rest.remove_prefix(taken);
    }
    std::string hex;
    for (std::uint8_t byte : pieces.Finish()) {
      static constexpr char kDigits[] = "0123456789abcdef";
      hex += kDigits[byte >> 4];
      hex += kDigits[byte & 15];
    }
    EXPECT_EQ(hex, c.digest) << c.input.size() << " bytes in pieces";
  }
}

}  // namespace
}  // namespace tolvane
