// Audio files through libsndfile: reading a whole file or block by block, and
// writing through a temporary file that only takes the destination's name once
// everything is written.
#pragma once

#include <sndfile.h>
#include <string>
#include <vector>

namespace render {

class AudioReader {
public:
  // Throws RenderError when the file is missing or not an audio file libsndfile reads.
  explicit AudioReader(const std::string& path);
  ~AudioReader();
  AudioReader(const AudioReader&) = delete;
  AudioReader& operator=(const AudioReader&) = delete;

  int format() const { return info.format; }
  int channels() const { return info.channels; }
  int sampleRate() const { return info.samplerate; }
  sf_count_t frames() const { return info.frames; }

  // Interleaved frames; returns how many were read (fewer only at the end).
  sf_count_t read(float* interleaved, sf_count_t count);
  sf_count_t read(double* interleaved, sf_count_t count);

private:
  std::string path;
  SF_INFO info{};
  SNDFILE* file = nullptr;
};

// Writes to ".<name>.partial-XXXXXX" in the destination's directory; commit()
// closes it and renames it over the destination. Destroyed without a commit
// (an error, an interruption) it removes the temporary file, so a failed render
// leaves neither a partial file nor a damaged earlier one.
class AudioWriter {
public:
  AudioWriter(const std::string& path, int format, int channels, int sampleRate);
  ~AudioWriter();
  AudioWriter(const AudioWriter&) = delete;
  AudioWriter& operator=(const AudioWriter&) = delete;

  void write(const float* interleaved, sf_count_t count);
  void write(const double* interleaved, sf_count_t count);
  void commit();

  const std::string& temporaryPath() const { return temporary; }

private:
  void check(sf_count_t written, sf_count_t count);
  std::string path;
  std::string temporary;
  SNDFILE* file = nullptr;
};

// The format to write: the input's container and sample format, unless the
// destination's extension names another container that libsndfile writes
// (".flac", ".aiff", ".wav"...); the sample format is kept where the container
// and channel count allow it, else the container's nearest one is used.
// Throws RenderError when nothing fits.
int outputFormat(int inputFormat, const std::string& destination, int channels, int sampleRate);

// "WAV, 24-bit PCM": for messages and the demo's report.
std::string describeFormat(int format);

// A whole file in memory, interleaved.
struct AudioData {
  std::vector<float> samples;
  int channels = 0;
  int sampleRate = 0;
  int format = 0;
  sf_count_t frames() const {
    return channels ? static_cast<sf_count_t>(samples.size()) / channels : 0;
  }
};

AudioData readAudio(const std::string& path);
void writeAudio(const std::string& path, const AudioData& data);

} // namespace render
