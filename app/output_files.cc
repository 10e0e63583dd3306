#include "app/output_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace syv::app {
namespace {

std::string folderOf(const std::string& path) {
  fs::path dir = fs::path(path).parent_path();
  return dir.empty() ? std::string(".") : dir.string();
}

bool writeAll(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

// A new, exclusively created file beside `path`; empty (errno set) on failure.
std::string createTemporary(const std::string& path, int& fd) {
  const fs::path p(path);
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path tmp = p.parent_path() / ("." + p.filename().string() + ".tmp" +
                                      std::to_string(::getpid()) + "_" + std::to_string(attempt));
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return tmp.string();
    if (errno != EEXIST) return {};
  }
  return {};
}

}  // namespace

std::string checkOutputFolder(const std::string& path) {
  const std::string dir = folderOf(path);
  std::error_code ec;
  if (!fs::exists(dir, ec)) return "folder " + dir + " does not exist";
  if (!fs::is_directory(dir, ec)) return dir + " is not a folder";
  if (fs::is_directory(path, ec)) return "is a folder";
  if (::access(dir.c_str(), W_OK | X_OK) != 0)
    return "folder " + dir + " is not writable (" + std::strerror(errno) + ")";
  return {};
}

SpooledFile::~SpooledFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

std::string SpooledFile::open() {
  temporary_ = createTemporary(path_, fd_);
  if (temporary_.empty())
    return path_ + ": cannot create a file in " + folderOf(path_) + " (" + std::strerror(errno) + ")";
  return {};
}

void SpooledFile::append(const char* data, size_t n) {
  if (!errno_ && !writeAll(fd_, data, n)) errno_ = errno ? errno : EIO;
  size_ += n;
}

void SpooledFile::patch(size_t at, const char* data, size_t n) {
  while (!errno_ && n) {
    const ssize_t w = ::pwrite(fd_, data, n, off_t(at));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) errno_ = errno ? errno : EIO;
    else data += w, at += size_t(w), n -= size_t(w);
  }
}

bool writeFilesInPlace(const std::map<std::string, std::string>& files, const std::string& mainPath,
                       std::string& error, std::vector<std::unique_ptr<SpooledFile>>* spooled) {
  std::vector<std::pair<std::string, std::string>> written;  // temporary -> final
  auto discard = [&] {
    for (auto& [tmp, final] : written) ::unlink(tmp.c_str());
  };
  if (spooled)
    for (const std::unique_ptr<SpooledFile>& s : *spooled) {
      const int savedErrno = s->errno_;
      const bool closed = s->fd_ < 0 || ::close(s->fd_) == 0;
      s->fd_ = -1;
      if (s->temporary_.empty() || savedErrno || !closed) {
        error = s->path_ + ": write failed (" + std::strerror(savedErrno ? savedErrno : errno) + ")";
        discard();
        return false;
      }
      written.emplace_back(s->temporary_, s->path_);
    }
  for (const auto& [path, data] : files) {
    int fd = -1;
    const std::string tmp = createTemporary(path, fd);
    if (tmp.empty()) {
      error = path + ": cannot create a file in " + folderOf(path) + " (" + std::strerror(errno) + ")";
      discard();
      return false;
    }
    written.emplace_back(tmp, path);
    const bool ok = writeAll(fd, data.data(), data.size());
    const int savedErrno = errno;
    if (::close(fd) != 0 || !ok) {
      error = path + ": write failed (" + std::strerror(ok ? errno : savedErrno) + ")";
      discard();
      return false;
    }
  }
  // Companions first, so that the main file never names a missing one.
  std::stable_partition(written.begin(), written.end(),
                        [&](const auto& w) { return w.second != mainPath; });
  for (size_t i = 0; i < written.size(); ++i) {
    if (::rename(written[i].first.c_str(), written[i].second.c_str()) != 0) {
      error = written[i].second + ": cannot rename into place (" + std::strerror(errno) + ")";
      for (size_t j = i; j < written.size(); ++j) ::unlink(written[j].first.c_str());
      return false;
    }
  }
  if (spooled)
    for (const std::unique_ptr<SpooledFile>& s : *spooled) s->temporary_.clear();
  return true;
}

}  // namespace syv::app
