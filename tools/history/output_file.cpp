#include "output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "aside_file.h"
#include "file_sync.h"

OutputFile::~OutputFile() {
    abandon();
}

std::string OutputFile::open(const std::string& path) {
    OutputName name;
    if (std::string refusal = LookUpOutput(path, name); !refusal.empty()) {
        return refusal;
    }
    target_ = name.replaced;
    if (name.direct) {
        stream_ = std::fopen(path.c_str(), "wb");
        return stream_ ? std::string() : std::strerror(errno);
    }
    std::filesystem::path aside(target_);
    aside.replace_filename("." + aside.filename().string() + ".kelmora-");
    return CreateAside(aside.string(), name, aside_, stream_);
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
