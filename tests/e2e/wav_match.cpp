// For the end-to-end checks: does a recording hold a source's speech?
//   corvel_wav_match SOURCE.wav RECORDING.wav [CORRELATION]
// Prints the share of the source's spoken half-seconds that the recording holds (each at its own
// lag, within 3 s, correlated above CORRELATION, 0.6 by default) and exits 0 when at least three
// quarters are there, 1 when not, 2 when a file cannot be read as 8 kHz mono.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "media/audio/audio_test_support.h"

int main(int argc, char** argv) {
  using namespace corvel::testing;
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: corvel_wav_match SOURCE.wav RECORDING.wav [CORRELATION]\n");
    return 2;
  }
  const WavContent source = ReadWav(argv[1]);
  const WavContent recording = ReadWav(argv[2]);
  for (const WavContent* wav : {&source, &recording}) {
    if (!wav->ok || wav->rate != 8000 || wav->channels != 1) {
      std::fprintf(stderr, "corvel_wav_match: %s is not an 8 kHz mono WAV file\n",
                   wav == &source ? argv[1] : argv[2]);
      return 2;
    }
  }
  const double threshold = argc == 4 ? std::atof(argv[3]) : 0.6;
  const double share = SpokenShareFound(source.samples, recording.samples, 8 * 3000, threshold);
  std::printf("%.2f of the spoken source found in %.1f s of recording\n", share,
              static_cast<double>(recording.samples.size()) / 8000);
  return share >= 0.75 ? 0 : 1;
}
