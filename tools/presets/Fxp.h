// VST 2.4 preset files (.fxp) in the regular-program form: a program's name and its parameters as
// normalised values, which hosts load into the effect one setParameter at a time.
//
// Layout, all integers and floats big-endian:
//   offset  size  field
//        0     4  chunk magic "CcnK"
//        4     4  byte size of the rest of the file (everything after this field)
//        8     4  fxMagic "FxCk" (regular parameters; "FPCh" would be an opaque chunk)
//       12     4  format version, 1
//       16     4  the effect's unique id
//       20     4  the effect's version
//       24     4  number of parameters
//       28    28  program name, NUL-terminated and NUL-padded
//       56   4*n  the n parameter values, 32-bit floats
#pragma once

#include "core/ParameterIndices.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace fxp {

constexpr std::int32_t fourCC(char a, char b, char c, char d) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24 |
                                   static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16 |
                                   static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8 |
                                   static_cast<std::uint32_t>(static_cast<unsigned char>(d)));
}

inline constexpr std::int32_t kChunkMagic = fourCC('C', 'c', 'n', 'K');
inline constexpr std::int32_t kRegularMagic = fourCC('F', 'x', 'C', 'k');
inline constexpr std::int32_t kFormatVersion = 1;
inline constexpr std::size_t kNameBytes = 28;
inline constexpr std::size_t kHeaderBytes = 28 + kNameBytes;
// Hosts show at most this many characters of a program name.
inline constexpr std::size_t kMaxNameLength = 24;

// Whose presets a file holds: the effect's unique id and version and its parameter count.
struct Identity {
  std::int32_t uniqueId;
  std::int32_t version;
  int numParams;
};

// The module's own: 'RVLX', version 1 (AEffect::version), 13 parameters.
inline constexpr Identity kOmbrine{fourCC('R', 'V', 'L', 'X'), 1, kNumParams};

struct Program {
  std::string name;
  std::vector<float> values; // normalised, 0 to 1
};

// A file that is not a preset for this effect, or that cannot be read or written; the message
// says what is wrong in the user's terms.
class FxpError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

inline constexpr std::size_t fileSize(int numParams) {
  return kHeaderBytes + 4 * static_cast<std::size_t>(numParams);
}

// The file's bytes. The name is cut to kMaxNameLength bytes. Throws FxpError when the values
// do not fit the identity or are not finite values from 0 to 1.
std::vector<std::uint8_t> encode(const Program& program, const Identity& identity = kOmbrine);

// The whole file is checked before anything is returned, so a caller never applies part of a
// broken file. Refused: another magic (a bank, an opaque chunk, not a preset file), another
// effect's id, another parameter count, a size that disagrees with the header (truncated or
// with bytes after the values), and values that are not finite or lie outside 0 to 1 (a
// normalised value never does, so such a file is damaged or not ours). The effect version is
// not checked: newer builds keep loading presets written by older ones.
Program decode(std::span<const std::uint8_t> bytes, const Identity& identity = kOmbrine);

// As decode, with the path in the messages.
Program readFile(const std::string& path, const Identity& identity = kOmbrine);

// Writes a temporary file beside the destination and renames it over the destination once
// complete, so a failure leaves neither a partial file nor a damaged earlier one.
void writeFile(const std::string& path, const Program& program,
               const Identity& identity = kOmbrine);

// "'RVLX'" for printable ids, else "0x...".
std::string idText(std::int32_t id);

} // namespace fxp
