#include "orxparse/OrxLoader.h"

#include "files/FileIo.h"
#include "orxparse/OrxParser.h"

#include <vector>

namespace orx {

LoadStatus loadOrxFile(const std::string& path, int currentYear, OrxFile& out) {
    out = OrxFile{};
    fileio::InputFile in;
    switch (in.open(path)) {
    case fileio::ReadStatus::Ok:
        break;
    case fileio::ReadStatus::NotRegular:
        return LoadStatus::NotRegular;
    case fileio::ReadStatus::TooLarge:
        return LoadStatus::TooLarge;
    case fileio::ReadStatus::CannotOpen:
        return LoadStatus::CannotOpen;
    case fileio::ReadStatus::ReadError:
        return LoadStatus::ReadError;
    }
    if (in.size() > kMaxFileBytes)
        return LoadStatus::TooLarge;
    OrxParser parser(currentYear);
    std::vector<char> buf(size_t{1} << 20);
    uint64_t total = 0;
    LoadStatus status = LoadStatus::Ok;
    for (;;) {
        const long long n = in.read(buf.data(), buf.size());
        if (n < 0) {
            status = LoadStatus::ReadError;
            break;
        }
        if (n == 0)
            break;
        total += static_cast<uint64_t>(n);
        // The file may grow while it is read; stop at the limit rather than follow it.
        if (total > kMaxFileBytes) {
            status = LoadStatus::TooLarge;
            break;
        }
        parser.feed(buf.data(), static_cast<size_t>(n));
    }
    out = parser.finish();
    return status;
}

} // namespace orx
