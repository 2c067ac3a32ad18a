#include "presets/Fxp.h"

#include "common/Text.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace fxp {

namespace {

void putInt(std::vector<std::uint8_t>& out, std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(u >> shift));
}

std::int32_t getInt(std::span<const std::uint8_t> bytes, std::size_t at) {
  std::uint32_t u = 0;
  for (std::size_t i = 0; i < 4; ++i)
    u = u << 8 | bytes[at + i];
  return static_cast<std::int32_t>(u);
}

bool inRange(float v) { return std::isfinite(v) && v >= 0.0f && v <= 1.0f; }

std::string describeMagic(std::int32_t magic) {
  if (magic == fourCC('F', 'P', 'C', 'h'))
    return "it holds an opaque chunk (FPCh), not parameter values";
  if (magic == fourCC('F', 'x', 'B', 'k') || magic == fourCC('F', 'B', 'C', 'h'))
    return "it is a bank of programs (.fxb), not a single preset";
  return "its preset type is " + idText(magic) + ", not " + idText(kRegularMagic);
}

} // namespace

std::string idText(std::int32_t id) {
  const auto u = static_cast<std::uint32_t>(id);
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const auto c = static_cast<unsigned char>(u >> shift);
    if (c < 0x20 || c > 0x7e) {
      char hex[16];
      std::snprintf(hex, sizeof(hex), "0x%08x", u);
      return hex;
    }
    text += static_cast<char>(c);
  }
  return "'" + text + "'";
}

std::vector<std::uint8_t> encode(const Program& program, const Identity& identity) {
  if (program.values.size() != static_cast<std::size_t>(identity.numParams))
    throw FxpError("a preset needs " + std::to_string(identity.numParams) + " values, not " +
                   std::to_string(program.values.size()));
  for (std::size_t i = 0; i < program.values.size(); ++i)
    if (!inRange(program.values[i]))
      throw FxpError("parameter " + std::to_string(i) + " is not a normalised value (0 to 1)");

  std::vector<std::uint8_t> out;
  out.reserve(fileSize(identity.numParams));
  putInt(out, kChunkMagic);
  putInt(out, static_cast<std::int32_t>(fileSize(identity.numParams) - 8));
  putInt(out, kRegularMagic);
  putInt(out, kFormatVersion);
  putInt(out, identity.uniqueId);
  putInt(out, identity.version);
  putInt(out, identity.numParams);
  const std::size_t nameLength = std::min(program.name.size(), kMaxNameLength);
  for (std::size_t i = 0; i < kNameBytes; ++i)
    out.push_back(i < nameLength ? static_cast<std::uint8_t>(program.name[i]) : 0);
  for (float v : program.values)
    putInt(out, std::bit_cast<std::int32_t>(v));
  return out;
}

Program decode(std::span<const std::uint8_t> bytes, const Identity& identity) {
  if (bytes.size() < 12 || getInt(bytes, 0) != kChunkMagic)
    throw FxpError("not a VST preset file (no \"CcnK\" at its start)");
  const std::int32_t fxMagic = getInt(bytes, 8);
  if (fxMagic != kRegularMagic)
    throw FxpError("not a preset of parameter values: " + describeMagic(fxMagic));
  if (bytes.size() < kHeaderBytes)
    throw FxpError("truncated: " + std::to_string(bytes.size()) + " bytes, shorter than a header");
  const std::int32_t version = getInt(bytes, 12);
  if (version != kFormatVersion)
    throw FxpError("preset format version " + std::to_string(version) + ", this reader knows " +
                   std::to_string(kFormatVersion));
  const std::int32_t id = getInt(bytes, 16);
  if (id != identity.uniqueId)
    throw FxpError("a preset for another plug-in (id " + idText(id) + "; this one is " +
                   idText(identity.uniqueId) + ")");
  const std::int32_t count = getInt(bytes, 24);
  if (count != identity.numParams)
    throw FxpError("holds " + std::to_string(count) + " parameter values; this plug-in has " +
                   std::to_string(identity.numParams));
  const std::size_t expected = fileSize(count);
  if (bytes.size() < expected)
    throw FxpError("truncated: " + std::to_string(bytes.size()) + " bytes, a preset of " +
                   std::to_string(count) + " values has " + std::to_string(expected));
  if (bytes.size() > expected)
    throw FxpError(std::to_string(bytes.size() - expected) +
                   " unexpected bytes after the parameter values");
  const std::int32_t byteSize = getInt(bytes, 4);
  if (byteSize != static_cast<std::int32_t>(expected - 8))
    throw FxpError("its header gives a size of " + std::to_string(byteSize) + " bytes, not " +
                   std::to_string(expected - 8));

  Program program;
  const char* name = reinterpret_cast<const char*>(bytes.data() + 28);
  program.name.assign(name, strnlen(name, kNameBytes));
  for (int i = 0; i < count; ++i) {
    const float v =
        std::bit_cast<float>(getInt(bytes, kHeaderBytes + 4 * static_cast<std::size_t>(i)));
    if (!std::isfinite(v))
      throw FxpError("the value of parameter " + std::to_string(i) + " is not a number");
    if (!inRange(v))
      throw FxpError("the value of parameter " + std::to_string(i) + " is " + std::to_string(v) +
                     ", outside 0 to 1");
    program.values.push_back(v);
  }
  return program;
}

Program readFile(const std::string& path, const Identity& identity) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) throw FxpError("preset file not found: " + path);
  if (S_ISDIR(st.st_mode)) throw FxpError("preset " + path + " is a directory");
  std::ifstream in(path, std::ios::binary);
  // Far larger than any preset of ours: a wrong file, not worth reading whole.
  if (!in || st.st_size > 1 << 20) throw FxpError("cannot read preset " + path);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                        std::istreambuf_iterator<char>()};
  try {
    return decode(bytes, identity);
  } catch (const FxpError& e) {
    throw FxpError("preset " + path + " refused: " + e.what());
  }
}

void writeFile(const std::string& path, const Program& program, const Identity& identity) {
  const std::vector<std::uint8_t> bytes = encode(program, identity);
  std::string temporary = text::directoryOf(path) + "/." + text::baseName(path) + ".partial-XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0)
    throw FxpError("cannot write to " + text::directoryOf(path) + ": " + std::strerror(errno));
  // mkstemp makes the file private; a preset gets the usual permissions (else 0600 still works).
  // The mask can only be read by setting it: read once, not while other threads make files.
  static const mode_t mask = [] {
    const mode_t m = umask(0);
    umask(m);
    return m;
  }();
  (void)fchmod(fd, 0666 & ~mask);
  int error = 0;
  if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
    error = errno ? errno : EIO;
  if (close(fd) != 0 && !error) error = errno;
  if (!error && std::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error) {
    std::remove(temporary.c_str());
    throw FxpError("cannot write preset " + path + ": " + std::strerror(error));
  }
}

} // namespace fxp
