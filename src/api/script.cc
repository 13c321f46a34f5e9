#include "api/script.h"

#include <memory>
#include <vector>

#include "base/whole_number.h"
#include "codecs/value_list.h"
#include "conversation/admin_commands.h"
#include "conversation/script_request.h"
#include "platform/locale_format.h"
#include "transfer/file_sections.h"
#include "transfer/file_transfer_thread.h"

namespace qvn {
namespace {

constexpr char16_t kCrLf[] = u"\r\n";

void EraseLine(std::vector<Text>& lines, size_t i) {
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
}

void StartTransfers(void* message_handle, const Text& host, uint16_t file_port,
                    const std::vector<Text>& file_sections) {
  auto thread = std::make_unique<TFileTransferThread>();
  thread->SetHost(host);
  thread->SetFilePort(file_port);
  thread->SetFilesScript(JoinLines(file_sections));
  thread->SetMessageHandle(message_handle);
  thread->Start();
  thread.release();  // it deletes itself when it is done
}

}  // namespace

Text Script(void* message_handle, const Text& script, const Text& host, uint16_t port,
            uint16_t file_port) {
  if (port == 0) return Text();
  std::vector<Text> lines = SplitLines(script);
  if (lines.size() == 1) return Text();  // only a credentials line

  std::vector<Text> file_sections;
  SplitFileSections(lines, file_sections);
  if (lines.empty()) return Text();
  const Text credentials = Trim(lines[0]);

  Text result;
  if (file_port != 0 && file_sections.size() > 1) {
    StartTransfers(message_handle, host, file_port, file_sections);
    result = u"File transfer started : " + platform::LocalDateTimeText() + kCrLf + kCrLf;
  }
  if (lines.size() == 1) return result;

  // Each pass walks bottom to top, the credentials line included.
  for (size_t i = lines.size(); i-- > 0;) {
    if (UpperTrim(lines[i]) == u"CLEARSYNC") {
      result = Trim(ClearSync(host, port, credentials, kScriptProbeTimeoutMs));
      EraseLine(lines, i);
    }
  }
  for (size_t i = lines.size(); i-- > 0;) {
    if (UpperTrim(lines[i]) == u"BUILD SHOW") {
      result = Trim(result) + kCrLf +
               BuildShow(host, port, credentials, -1, true, kScriptProbeTimeoutMs);
      EraseLine(lines, i);
    }
  }
  for (size_t i = lines.size(); i-- > 0;) {
    const Text normalised = UpperTrim(lines[i]);
    if (!TextView(normalised).starts_with(u"BUILD SHOW[")) continue;
    const Text inner = ValueFromString(normalised, 1, u"[");
    const auto number = static_cast<int32_t>(
        ParseWholeNumber(ValueFromString(inner, 0, u"]"), {.leading_blanks = true}).value_or(-1));
    const bool flag = Trim(ValueFromString(inner, 1, u"]")) != u"-";
    result = Trim(result) + kCrLf +
             BuildShow(host, port, credentials, number, flag, kScriptProbeTimeoutMs);
    EraseLine(lines, i);
  }

  result = Trim(result + kCrLf + SendScript(host, port, JoinLines(lines)));
  return result;
}

}  // namespace qvn
