// The sample files of tests/core/samples (made by make_samples.sh), built into the test
// exes so the same tests run natively and under Wine, wherever the sources are.
#ifndef DECRIMP_TEST_SAMPLES_H
#define DECRIMP_TEST_SAMPLES_H

#include <cstddef>
#include <vector>

struct EmbeddedSample {
    const char* name;
    const unsigned char* bytes;
    size_t size;
};
extern const EmbeddedSample EmbeddedSamples[];
extern const size_t EmbeddedSampleCount;

// The sample's bytes by its file name ("noise_96x96.png"); a test that names one that
// is not there fails, and gets no bytes.
const std::vector<unsigned char>& Sample(const char* name);

#endif
