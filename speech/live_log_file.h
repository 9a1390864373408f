#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/locked_file.h"
#include "platform/timer.h"
#include "speech/conversation_log.h"
#include "speech/rtf_writer.h"

// The conversation log on disk while the program runs, so that a crash, a kill or a power
// cut loses at most the last moments of a session rather than all of it.
//
// The file is "Velmor_Logfile_laufend.rtf" in the log folder ("_2", "_3", ... while other
// runs hold those names); this process keeps it locked, so no other run writes or recovers
// it. It is created once the log is worth a log file, with every line so far, and from then
// on only grows: each tick appends the lines appended to the log since. At every moment it
// is a complete RTF document, the log file's own format with two additions only a reader of
// this file uses: room after the colour table (line breaks, which RTF readers skip), and,
// before the closing brace, an ignorable group with the time of the newest line. New lines
// are written over that last group and followed by a new one; a new colour goes into the
// room, in place.
//
// The room holds every colour the hue file can give, so nothing on disk is ever written a
// second time; should a replaced hue file bring still more, a line takes the nearest colour
// the table has (in this file only: the log file at exit is written from memory). When the
// disk is full, the lines wait in the log and are written once there is room again; a file
// that cannot be created is tried again now and then; a file someone removed is made again.
//
// At a normal exit the log file is written from memory as ever and this file is removed
// (Discard); should that log file fail, this file takes its name instead (KeepAsLogFile). A
// run that ends any other way leaves it for RecoverLiveLogFiles at the next start.
//
// It keeps its own timer: each line appended to the log starts it, and it ticks every
// kTickMilliseconds while there is something to write or to sync.
//
// Main thread only, like the log it copies.
namespace velmor {

class LiveLogFile {
 public:
  // The timer ticks the file this often while Tick asks for more.
  static constexpr int kTickMilliseconds = 500;
  // What was written is synced to disk at most this many ticks later: never once per line,
  // and within a few seconds.
  static constexpr int kTicksPerSync = 4;
  // A file that could not be created is tried again this many ticks later.
  static constexpr int kTicksPerCreateAttempt = 20;
  static constexpr const char* kNameStem = "Velmor_Logfile_laufend";
  // The group before the closing brace: this, the newest line's time (seconds since 1970),
  // "}".
  static constexpr std::string_view kNewestLineGroup = "{\\*\\velmornewestline ";

  // "Velmor_Logfile_laufend.rtf" for 1, "Velmor_Logfile_laufend_<n>.rtf" beyond.
  static std::string FileName(int number);
  // Whether a file name is one of FileName's.
  static bool IsFileName(const std::string& name);

  // `log` and `timers` must outlive the file. Nothing is written until the first tick.
  LiveLogFile(ConversationLog& log, std::filesystem::path folder, TimerHost& timers);
  ~LiveLogFile();
  LiveLogFile(const LiveLogFile&) = delete;
  LiveLogFile& operator=(const LiveLogFile&) = delete;

  // How many colours the lines can have (the hue file's entries and black), for the room
  // the colour table gets when the file is made.
  void ExpectColors(std::size_t colors);

  // Notes the time of the line just appended to the log, for the name of a recovered log.
  void LineAppended(std::time_t when) { newest_line_time_ = when; }

  // The timer's tick: writes the lines appended since the last tick, and syncs when it is
  // due. Returns whether another tick is wanted (lines or a sync still outstanding), and
  // stops the timer when not. Failures are not reported: what could not be written is
  // tried again.
  bool Tick();

  // Writes what is outstanding, syncs and closes: the file stays for the next start.
  void Close();
  // Removes the file, once the log file of a normal exit holds every line.
  void Discard();
  // Writes what it can, closes, and gives the file the log file name `name` in the folder
  // (as WriteLogFile would, "_2" ... when taken): the exit's log file could not be written,
  // and this is the session on disk. Returns the name given; throws as WriteLogFile does.
  std::string KeepAsLogFile(const std::string& name);

  // Whether the timer runs: lines or a sync are outstanding.
  bool Ticking() const { return timer_.Enabled(); }

  // The file's path while it is open, else empty.
  std::filesystem::path Path() const {
    return file_.IsOpen() ? file_.Path() : std::filesystem::path();
  }

 private:
  bool TickOnce();
  bool WriteWholeFile();
  bool AppendNewLines();
  // The log's lines from `first` on as paragraphs, their colours entered in the table.
  std::string Paragraphs(int first);
  int ColorIndex(TColor color);
  bool Sync();
  std::string Trailer() const;

  ConversationLog& log_;
  const std::filesystem::path folder_;
  TTimer timer_;
  int observer_ = -1;
  const RtfFont font_{ConversationLog::kFontName, ConversationLog::kFontPoints};
  // The bytes the colour table's entries may take, between "{\colortbl ;" and the line
  // breaks of the room after it.
  std::size_t table_room_;
  LockedFile file_;
  bool closed_ = false;
  int ticks_until_create_ = 0;
  // The colours of the lines written so far, in order of first use as in the log file.
  RtfColorTable colors_;
  std::size_t colors_in_file_ = 0;
  // Where the colour table's "}" stands, and where the trailer starts.
  std::uint64_t table_end_ = 0;
  std::uint64_t body_end_ = 0;
  std::uint64_t file_end_ = 0;
  std::size_t table_length_ = 0;  // of the entries so far
  int lines_in_file_ = 0;
  std::time_t newest_line_time_ = 0;
  bool unsynced_ = false;
  int ticks_since_sync_ = 0;
};

}  // namespace velmor
