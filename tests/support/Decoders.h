// Independent barcode readers for tests: an image the engine drew is right
// when someone else's decoder reads back the text that went in.
//
//   zbarimg --raw -q FILE   prints each symbol's data followed by a newline
//                           and exits 0; exits 4 when it finds no symbol.
//   ZXingReader FILE        prints a block of "Key: value" lines a symbol
//                           (Text: "..." with the text in quotes, Bytes: the
//                           data as hex pairs, Format: Code39, ...) and
//                           "No barcode found" otherwise, exiting 0 either way
//                           (255 when it cannot read the file).
#pragma once

#include <string>
#include <vector>

namespace tolvane::test {

struct TDecodeResult {
  bool Ok = false;       // the program ran and found at least one symbol
  int Symbols = 0;       // how many symbols it reported
  std::string Text;      // the first symbol's data
  std::string Format;    // ZXingReader's format name ("Code39"); empty for zbarimg
  std::string Output;    // everything the program printed, for failure messages
  int ExitStatus = -1;   // -1 when it did not run or did not exit normally
};

// Runs zbarimg --raw -q on a PNG file. Text is the first output line.
// Options go before the file, e.g. ZbarRetailOptions.
TDecodeResult DecodeWithZbar(const std::string& PngFile, const std::vector<std::string>& Options = {});

// zbarimg reads the add-ons, UPC-A, UPC-E and short Interleaved 2 of 5 only
// when asked to. With UPC-A enabled it reports an EAN-13 number that begins
// with 0 as the 12-digit UPC-A number.
inline const std::vector<std::string> ZbarRetailOptions = {
    "-Sean2.enable", "-Sean5.enable", "-Supca.enable", "-Supce.enable", "-Si25.min-length=2"};

// Runs ZXingReader on a PNG file. Text is the first symbol's data taken from
// its Bytes line (exact bytes, no quoting), or from its Text line when there
// is no Bytes line.
TDecodeResult DecodeWithZXing(const std::string& PngFile);

// The directory for files the tests write: $TOLVANE_TEST_TMP, or a
// directory under the system's temporary directory when that is not set;
// created when missing. No trailing '/'.
std::string TestTempDir();

}  // namespace tolvane::test
