#include "core/base/log.h"
#include "core/base/progress.h"

namespace syv {

namespace {
LogSink* g_log = nullptr;
ProgressSink* g_progress = nullptr;
}  // namespace

void LogChannel::setSink(LogSink* sink) { g_log = sink; }
void LogChannel::clearSink() { g_log = nullptr; }
LogSink* LogChannel::sink() { return g_log; }
void LogChannel::error(const std::string& text) { if (g_log) g_log->error(text); }
void LogChannel::warning(const std::string& text) { if (g_log) g_log->warning(text); }
void LogChannel::trace(const std::string& text) { if (g_log) g_log->trace(text); }
bool LogChannel::tracing() { return g_log && g_log->tracing(); }
void LogChannel::info(const std::string& text) { if (g_log) g_log->info(text); }

void ProgressChannel::setSink(ProgressSink* sink) { g_progress = sink; }
void ProgressChannel::clearSink() { g_progress = nullptr; }
ProgressSink* ProgressChannel::sink() { return g_progress; }
void ProgressChannel::begin(const std::string& text) { if (g_progress) g_progress->begin(text); }
void ProgressChannel::end() { if (g_progress) g_progress->end(); }
void ProgressChannel::update(double fraction) { if (g_progress) g_progress->update(fraction); }
bool ProgressChannel::cancelled() { return g_progress ? g_progress->cancelled() : false; }

}  // namespace syv
