#include "render/AudioFile.h"

#include "common/Text.h"
#include "render/HostSession.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace render {

namespace {

std::string lowerExtension(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  for (char& c : ext)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "aif") ext = "aiff";
  return ext;
}

bool fits(int format, int channels, int sampleRate) {
  SF_INFO info{};
  info.format = format;
  info.channels = channels;
  info.samplerate = sampleRate;
  return sf_format_check(&info) != 0;
}

SF_FORMAT_INFO formatInfo(int format, int command) {
  SF_FORMAT_INFO info{};
  info.format = format;
  sf_command(nullptr, command, &info, sizeof(info));
  return info;
}

// libsndfile keeps the reason an open failed in one place for the whole process; batch workers
// open files at the same time, so each open and the reading of its reason take turns.
SNDFILE* openFile(const std::string& path, int mode, SF_INFO* info, std::string* why) {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  SNDFILE* file = sf_open(path.c_str(), mode, info);
  if (!file) *why = sf_strerror(nullptr);
  return file;
}

} // namespace

AudioReader::AudioReader(const std::string& p) : path(p) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) throw RenderError("input file not found: " + path);
  if (S_ISDIR(st.st_mode)) throw RenderError("input is a directory, not an audio file: " + path);
  std::string why;
  file = openFile(path, SFM_READ, &info, &why);
  if (!file) throw RenderError("cannot read " + path + ": " + why);
  if (info.channels < 1 || info.samplerate < 1) {
    sf_close(file);
    file = nullptr;
    throw RenderError("cannot read " + path + ": no channels or no sample rate");
  }
}

AudioReader::~AudioReader() {
  if (file) sf_close(file);
}

sf_count_t AudioReader::read(float* interleaved, sf_count_t count) {
  return sf_readf_float(file, interleaved, count);
}

sf_count_t AudioReader::read(double* interleaved, sf_count_t count) {
  return sf_readf_double(file, interleaved, count);
}

AudioWriter::AudioWriter(const std::string& p, int format, int channels, int sampleRate) : path(p) {
  std::string pattern = text::directoryOf(path) + "/." + text::baseName(path) + ".partial-XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0)
    throw RenderError("cannot write to " + text::directoryOf(path) + ": " + std::strerror(errno));
  temporary = pattern;
  // mkstemp makes the file private; the result gets the usual permissions. The mask can only be
  // read by setting it, so it is read once: batch workers write files at the same time.
  static const mode_t mask = [] {
    const mode_t m = umask(0);
    umask(m);
    return m;
  }();
  const bool opened = fchmod(fd, 0666 & ~mask) == 0; // else it stays 0600: still usable
  (void)opened;
  close(fd);

  SF_INFO info{};
  info.format = format;
  info.channels = channels;
  info.samplerate = sampleRate;
  std::string why;
  file = openFile(temporary, SFM_WRITE, &info, &why);
  if (!file) {
    std::remove(temporary.c_str());
    throw RenderError("cannot write " + path + ": " + why);
  }
  // Integer formats clip instead of wrapping round when the output is hot.
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter() {
  if (file) sf_close(file);
  if (!temporary.empty()) std::remove(temporary.c_str());
}

void AudioWriter::check(sf_count_t written, sf_count_t count) {
  if (written != count) throw RenderError("error writing " + path + ": " + sf_strerror(file));
}

void AudioWriter::write(const float* interleaved, sf_count_t count) {
  check(sf_writef_float(file, interleaved, count), count);
}

void AudioWriter::write(const double* interleaved, sf_count_t count) {
  check(sf_writef_double(file, interleaved, count), count);
}

void AudioWriter::commit() {
  const int closed = sf_close(file);
  file = nullptr;
  if (closed != 0) throw RenderError("error writing " + path + ": " + sf_error_number(closed));
  if (std::rename(temporary.c_str(), path.c_str()) != 0)
    throw RenderError("cannot move the result to " + path + ": " + std::strerror(errno));
  temporary.clear();
}

int outputFormat(int inputFormat, const std::string& destination, int channels, int sampleRate) {
  int major = inputFormat & SF_FORMAT_TYPEMASK;
  const int subtype = inputFormat & SF_FORMAT_SUBMASK;
  const int endian = inputFormat & SF_FORMAT_ENDMASK;

  const std::string ext = lowerExtension(destination);
  const SF_FORMAT_INFO input = formatInfo(major, SFC_GET_FORMAT_INFO);
  const std::string inputExt = input.extension ? input.extension : "";
  if (!ext.empty() && ext != inputExt) {
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof(count));
    for (int i = 0; i < count; ++i) {
      SF_FORMAT_INFO info{};
      info.format = i;
      sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof(info));
      if (info.extension && ext == info.extension) {
        major = info.format;
        break;
      }
    }
  }

  for (int candidate : {major | subtype | endian, major | subtype})
    if (fits(candidate, channels, sampleRate)) return candidate;
  // The container does not take the input's sample format: the nearest common ones.
  for (int sub : {SF_FORMAT_PCM_24, SF_FORMAT_FLOAT, SF_FORMAT_PCM_16, SF_FORMAT_VORBIS})
    if (fits(major | sub, channels, sampleRate)) return major | sub;
  throw RenderError("cannot write " + std::to_string(channels) + " channels at " +
                    std::to_string(sampleRate) + " Hz as " + describeFormat(major | subtype));
}

std::string describeFormat(int format) {
  SF_FORMAT_INFO major = formatInfo(format & SF_FORMAT_TYPEMASK, SFC_GET_FORMAT_INFO);
  SF_FORMAT_INFO sub = formatInfo(format & SF_FORMAT_SUBMASK, SFC_GET_FORMAT_INFO);
  std::string out = major.name ? major.name : "unknown container";
  if (sub.name) out += std::string(", ") + sub.name;
  return out;
}

AudioData readAudio(const std::string& path) {
  AudioReader reader(path);
  AudioData data;
  data.channels = reader.channels();
  data.sampleRate = reader.sampleRate();
  data.format = reader.format();
  data.samples.resize(static_cast<std::size_t>(reader.frames() * reader.channels()));
  const sf_count_t got = reader.read(data.samples.data(), reader.frames());
  data.samples.resize(static_cast<std::size_t>(got * reader.channels()));
  return data;
}

void writeAudio(const std::string& path, const AudioData& data) {
  AudioWriter writer(path, data.format, data.channels, data.sampleRate);
  writer.write(data.samples.data(), data.frames());
  writer.commit();
}

} // namespace render
