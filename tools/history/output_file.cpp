#include "output_file.h"

#include <cerrno>
#include <cstring>

#include "aside_file.h"
#include "file_sync.h"

OutputFile::~OutputFile() {
    abandon();
}

std::string OutputFile::open(const std::string& path) {
    OutputName facts;
    if (std::string refusal = LookUpOutput(path, facts); !refusal.empty()) {
        return refusal;
    }
    target_ = facts.replaced;
    if (facts.direct) {
        stream_ = std::fopen(path.c_str(), "wb");
        return stream_ ? std::string() : std::strerror(errno);
    }
    const std::size_t name = target_.find_last_of(kPathSeparators) + 1; // 0 when none
    const std::string prefix = target_.substr(0, name) + "." + target_.substr(name) + ".kelmora-";
    return CreateAside(prefix, facts, aside_, stream_);
}

std::string OutputFile::commit() {
    if (!stream_) {
        return {};
    }
    std::string failure;
    if (std::fflush(stream_) != 0 || std::ferror(stream_)) {
        failure = std::strerror(errno);
    }
    if (failure.empty() && !aside_.empty()) {
        failure = SyncFileData(::fileno(stream_));
    }
    if (std::fclose(stream_) != 0 && failure.empty()) {
        failure = std::strerror(errno);
    }
    stream_ = nullptr;
    if (aside_.empty()) {
        return failure;
    }
    if (failure.empty()) {
        failure = PutInPlace(aside_, target_);
    }
    if (!failure.empty()) {
        abandon();
        return failure;
    }
    aside_.clear();
    return SyncFolderOf(target_);
}

void OutputFile::abandon() {
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!aside_.empty()) {
        RemoveAside(aside_);
        aside_.clear();
    }
}
