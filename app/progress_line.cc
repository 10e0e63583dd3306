#include "app/progress_line.h"

namespace syv::app {

void ProgressLine::stage(const std::string& stage) {
  stage_ = stage;
  title_.clear();
  percent_ = -1;
  draw();
}

void ProgressLine::begin(const std::string& title) {
  title_ = title;
  percent_ = 0;
  draw();
}

void ProgressLine::update(int percent, const std::string& text) {
  if (!text.empty()) title_ = text;
  percent_ = percent < 0 ? 0 : percent > 100 ? 100 : percent;
  draw();
}

void ProgressLine::end() {
  percent_ = -1;
  draw();
}

void ProgressLine::clear() {
  if (!enabled_ || shown_.empty()) return;
  std::fputs("\r\033[K", out_);
  std::fflush(out_);
  shown_.clear();
}

void ProgressLine::draw() {
  if (!enabled_) return;
  std::string text = stage_;
  if (!title_.empty()) text += (text.empty() ? "" : ": ") + title_;
  if (percent_ >= 0) text += " " + std::to_string(percent_) + "%";
  if (text == shown_) return;
  // Keep it on one line of a narrow terminal.
  if (text.size() > 78) text.resize(78);
  std::fprintf(out_, "\r\033[K%s", text.c_str());
  std::fflush(out_);
  shown_ = text;
}

}  // namespace syv::app
