// Finds an embedded sample by name (see samples.h).
#include "samples.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

const std::vector<unsigned char>& Sample(const char* name) {
    static std::map<std::string, std::vector<unsigned char>> loaded;
    static const std::vector<unsigned char> none;
    const auto known = loaded.find(name);
    if (known != loaded.end()) return known->second;
    for (size_t i = 0; i < EmbeddedSampleCount; ++i)
        if (std::strcmp(EmbeddedSamples[i].name, name) == 0)
            return loaded[name] = std::vector<unsigned char>(EmbeddedSamples[i].bytes,
                                                             EmbeddedSamples[i].bytes + EmbeddedSamples[i].size);
    ADD_FAILURE() << "no sample named " << name << " in tests/core/samples";
    return none;
}
