// The sample settings file and docs/settings.md against the reader: every key it reads is
// in both, at the reader's default; the sample may differ only in the keys its header
// names, and its header names exactly those.
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "core/core.h"

namespace {

std::string SourceFile(const char* relative) {
    std::ifstream in(std::string(ORV_SOURCE_DIR "/") + relative, std::ios::binary);
    EXPECT_TRUE(in) << relative;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The first group of the pattern's first match, line by line; false when nothing matches.
bool ValueOf(const std::string& text, const std::string& pattern, std::string* value) {
    std::smatch m;
    if (!std::regex_search(text, m, std::regex(pattern, std::regex::multiline))) return false;
    *value = m[1];
    return true;
}

} // namespace

TEST(SettingsDocs, EveryKeyIsInTheSampleAndTheDocsAtItsDefault) {
    const std::string sample = SourceFile("src/plugin/OrvalinMugenBGM.ini");
    const std::string doc = SourceFile("docs/settings.md");
    const std::string header = sample.substr(0, sample.find("\n["));
    const Settings defaults;
    std::set<std::string> named, changed;
    for (int i = 0; i < kSettingsKeys; ++i) {
        const std::string key = SettingsKeyName(i);
        SCOPED_TRACE(key);
        char text[256];
        FormatSettingsValue(defaults, i, text, sizeof text);
        const std::string value = text;
        std::string inSample, inDoc;
        if (ValueOf(sample, "^" + key + "=([^\r\n]*)", &inSample)) {
            if (inSample != value) changed.insert(key);
        } else {
            ADD_FAILURE() << "not in the sample settings file";
        }
        if (ValueOf(doc, "^\\| `" + key + "` \\| ([^|]*) \\|", &inDoc))
            EXPECT_EQ(inDoc, value.empty() ? "(empty)" : value) << "docs/settings.md";
        else
            ADD_FAILURE() << "not in the table of docs/settings.md";
        if (std::regex_search(header, std::regex("\\b" + key + "\\b"))) named.insert(key);
    }
    EXPECT_EQ(named, changed) << "the keys the sample's header names, and those not at their "
                                 "default";
}
