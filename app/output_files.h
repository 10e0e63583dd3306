// Output that appears whole or not at all: every file is first written to a
// temporary file in its own folder and renamed into place only when all of
// them were written; the main file is renamed last.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace syv::app {

// Empty when a file can be created in the folder of `path`; otherwise why not.
std::string checkOutputFolder(const std::string& path);

// A file too big to hold whole, written as it is made into its temporary
// beside `path`; writeFilesInPlace renames it into place with the others.
// Removed when destroyed before that.
class SpooledFile {
 public:
  explicit SpooledFile(std::string path) : path_(std::move(path)) {}
  SpooledFile(const SpooledFile&) = delete;
  SpooledFile& operator=(const SpooledFile&) = delete;
  ~SpooledFile();
  // Empty, or why the temporary cannot be created.
  std::string open();
  // A failed write is kept and reported when the file is put in place.
  void append(const char* data, size_t n);
  void append(const std::string& data) { append(data.data(), data.size()); }
  // Overwrites bytes already appended.
  void patch(size_t at, const char* data, size_t n);
  size_t size() const { return size_; }
  const std::string& path() const { return path_; }

 private:
  friend bool writeFilesInPlace(const std::map<std::string, std::string>&, const std::string&,
                                std::string&, std::vector<std::unique_ptr<SpooledFile>>*);
  std::string path_, temporary_;
  int fd_ = -1;
  size_t size_ = 0;
  int errno_ = 0;  // of the first failed write
};

using Spools = std::vector<std::unique_ptr<SpooledFile>>;

// `files` maps final paths to contents, `spooled` are written already;
// `mainPath` is renamed last. On failure nothing of this call is left behind
// and existing files are kept.
bool writeFilesInPlace(const std::map<std::string, std::string>& files, const std::string& mainPath,
                       std::string& error,
                       std::vector<std::unique_ptr<SpooledFile>>* spooled = nullptr);

}  // namespace syv::app
