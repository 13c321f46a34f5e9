#include "api/script.h"

#include <memory>
#include <vector>

#include "base/debug_log.h"
#include "base/thread_exit.h"
#include "base/whole_number.h"
#include "codecs/value_list.h"
#include "conversation/admin_commands.h"
#include "conversation/probe_timeouts.h"
#include "conversation/script_request.h"
#include "platform/locale_format.h"
#include "platform/progress_message.h"
#include "text/letter_case.h"
#include "transfer/file_sections.h"
#include "transfer/file_transfer_thread.h"

namespace qvn {
namespace {

constexpr char16_t kCrLf[] = u"\r\n";

enum class Directive : uint8_t { kNone, kClearSync, kBuildShow, kBuildShowWithArguments };

Directive DirectiveOf(const Text& line) {
  const Text normalised = UpperTrim(line);
  if (normalised == u"CLEARSYNC") return Directive::kClearSync;
  if (normalised == u"BUILD SHOW") return Directive::kBuildShow;
  if (TextView(normalised).starts_with(u"BUILD SHOW[")) return Directive::kBuildShowWithArguments;
  return Directive::kNone;
}

// result = result trimmed, CR LF, answer; trimmed in place, so that many
// directives do not copy a long result once each.
void AppendAnswer(Text& result, const Text& answer) {
  TrimInPlace(result);
  result += kCrLf;
  result += answer;
}

void StartTransfers(void* message_handle, const Text& host, uint16_t file_port,
                    const std::vector<Text>& file_sections) {
  auto thread = std::make_unique<TFileTransferThread>();
  thread->SetHost(host);
  thread->SetFilePort(file_port);
  thread->SetFilesScript(JoinLines(file_sections));
  thread->SetMessageHandle(message_handle);
  thread->Start();
  (void)thread.release();  // it deletes itself when it is done
}

}  // namespace

void RunDirectives(std::vector<Text>& lines, Text& result, const DirectiveCommands& commands) {
  std::vector<Directive> kinds(lines.size());
  for (size_t i = 0; i < lines.size(); ++i) kinds[i] = DirectiveOf(lines[i]);
  // Three passes, each bottom to top, the credentials line included; every
  // directive line is handled, so the list loses them all at once at the end.
  for (size_t i = lines.size(); i-- > 0;) {
    if (kinds[i] != Directive::kClearSync) continue;
    result = Trim(commands.clear_sync());
  }
  for (size_t i = lines.size(); i-- > 0;) {
    if (kinds[i] != Directive::kBuildShow) continue;
    AppendAnswer(result, commands.build_show(-1, true));
  }
  for (size_t i = lines.size(); i-- > 0;) {
    if (kinds[i] != Directive::kBuildShowWithArguments) continue;
    const Text normalised = UpperTrim(lines[i]);
    const Text inner = ValueFromString(normalised, 1, u"[");
    const auto number = static_cast<int32_t>(
        ParseWholeNumber(ValueFromString(inner, 0, u"]"), {.leading_blanks = true}).value_or(-1));
    const bool flag = Trim(ValueFromString(inner, 1, u"]")) != u"-";
    AppendAnswer(result, commands.build_show(number, flag));
  }
  size_t kept = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (kinds[i] == Directive::kNone) {
      if (kept != i) lines[kept] = std::move(lines[i]);
      ++kept;
    }
  }
  lines.resize(kept);
}

namespace {

// The script's work; `state` follows the transfer thread's start.
Text RunScript(void* message_handle, const Text& script, const Text& host, uint16_t port,
               uint16_t file_port, TransferState& state) {
  if (port == 0) return Text();
  std::vector<Text> lines = SplitLines(script);
  if (lines.size() == 1) return Text();  // only a credentials line

  std::vector<Text> file_sections;
  SplitFileSections(lines, file_sections);
  if (lines.empty()) return Text();
  const Text credentials = Trim(lines[0]);

  Text result;
  if (file_port != 0 && file_sections.size() > 1) {
    state = TransferState::kStarting;
    StartTransfers(message_handle, host, file_port, file_sections);
    state = TransferState::kStarted;
    result = u"File transfer started : " + platform::LocalDateTimeText() + kCrLf + kCrLf;
  }
  if (lines.size() == 1) return result;

  const DirectiveCommands commands{
      [&] { return ClearSync(host, port, credentials, kScriptProbeMs); },
      [&](int32_t number, bool flag) {
        return BuildShow(host, port, credentials, number, flag, kScriptProbeMs);
      }};
  RunDirectives(lines, result, commands);

  result = Trim(result + kCrLf + SendScript(host, port, JoinLines(lines)));
  return result;
}

}  // namespace

// A Script call given a window hears exactly one done message: from the
// transfer thread when one started, else from here, as Script returns (also
// when it fails). Not from a destructor: the host's handler runs in it and
// may end its thread, which must unwind on through.
Text Script(void* message_handle, const Text& script, const Text& host, uint16_t port,
            uint16_t file_port, TransferState& state) {
  Text result;
  try {
    result = RunScript(message_handle, script, host, port, file_port, state);
  } catch (...) {  // the done message first, then the failure goes on
    RethrowThreadExit();
    // Once a thread runs, its own done message comes.
    if (state != TransferState::kStarted) platform::SendNoTransfersDone(message_handle);
    throw;
  }
  if (state != TransferState::kStarted) platform::SendNoTransfersDone(message_handle);
  return result;
}

}  // namespace qvn
