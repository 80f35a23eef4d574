// Names as a stage creator reads them (forward slashes), and the name they may have meant.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/names.h"
#include "core/core.h"
#include "checker.h"

namespace check {

std::string Slashed(const std::string& name) {
    std::string out = name;
    for (size_t i = 0; i < out.size(); i += platform::CharLength(out, i))
        if (out[i] == '\\') out[i] = '/';
    return out;
}

int Distance(const std::string& a, const std::string& b) {
    std::vector<int> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = static_cast<int>(j);
    for (size_t i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (size_t j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            const bool same = AsciiLower(a[i - 1]) == AsciiLower(b[j - 1]);
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

namespace {

// The name of the folder that is closest to `missing` (folder by folder), or empty.
std::string ClosestPath(const std::string& missing, int depth) {
    const size_t cut = platform::LastSeparator(missing);
    std::string folder = cut == std::string::npos ? "" : missing.substr(0, cut);
    const std::string last = missing.substr(cut == std::string::npos ? 0 : cut + 1);
    if (last.empty() || depth > 8) return {};
    bool moved = false;
    if (!folder.empty() && !platform::FileExists(folder.c_str())) {
        folder = ClosestPath(folder, depth + 1);
        if (folder.empty()) return {};
        moved = true;
        if (platform::FileExists((folder + "\\" + last).c_str())) return folder + "\\" + last;
    }
    char name[platform::kMaxPath];
    int best = static_cast<int>(last.size());
    std::string closest;
    if (platform::Handle search =
            platform::FindFirst((folder.empty() ? "*" : folder + "\\*").c_str(), name)) {
        do {
            const std::string found = name;
            if (found == "." || found == "..") continue;
            const int d = Distance(found, last);
            if (d < best) best = d, closest = found;
        } while (platform::FindNext(search, name));
        platform::FindClose(search);
    }
    const int allowed = moved ? 0 : std::max<int>(2, static_cast<int>(last.size()) / 3);
    if (closest.empty() || best > allowed) return {};
    return folder.empty() ? closest : folder + "\\" + closest;
}

} // namespace

std::string DidYouMean(const std::string& missing) {
    const std::string meant = ClosestPath(missing, 0);
    return meant.empty() ? meant : "did you mean " + Slashed(meant) + "?";
}

} // namespace check
