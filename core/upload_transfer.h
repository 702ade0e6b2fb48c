// The HTTP upload transfer every control carries: one package sent as one POST request over one
// TCP connection, with the reply recognised from what arrives. Waits yield to the message loop
// and count ticks of a 100-millisecond timer: 6 to close an old connection, 6 to connect, over
// HTTPS 100 more for the TLS handshake, 300 of silence for the reply, 6 to close.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/text.h"
#include "core/http_reply.h"
#include "core/multipart.h"
#include "core/server_address.h"
#include "platform/platform.h"
#include "platform/timer.h"

namespace velmaris {

// What differs between the controls that carry a transfer.
struct TransferPolicy {
  std::u16string default_path;  // "/upload.asp" or "/cms/upload.asp"
  bool keeps_reply = true;      // whether the control keeps a reply text
  // The control's own action on an error reply, given the text received; a kept reply text
  // becomes "Error" after it.
  std::function<void(const std::u16string& received)> error_action = nullptr;
  // Told the share of the transfer done, 0 to 100: at its start, as the package goes out, at
  // its end. The controls show it in their progress bar.
  std::function<void(double percent)> progress = nullptr;
  // Tells the user of a failure the reply cannot: the socket's error, a file that shrank while
  // it went, a step of an HTTPS connection that ran out of time. The controls show a box.
  std::function<void(const std::u16string& text)> error_box = nullptr;
};

inline constexpr char16_t kReplyError[] = u"Error";

// How the last transfer ended, for callers that must tell a failure from a success.
enum class TransferOutcome {
  kNone,          // no transfer has run yet
  kSuccess,       // a whole reply with a success status
  kErrorReply,    // a reply with another status (LastStatus() says which)
  kTooLarge,      // a reply too large to keep, judged an error reply whatever its status
  kNoReply,       // the connection broke, closed early or brought no HTTP reply
  kTimedOut,      // no reply within the reply wait
  kNotConnected,  // the connection was never made
};

inline constexpr int16_t kCloseTicks = 6;
inline constexpr int16_t kConnectTicks = 6;
// The TLS handshake's own limit, counted once TCP is connected: 10 seconds, as browsers allow a
// server that is far away or busy.
inline constexpr int16_t kHandshakeTicks = 100;
inline constexpr int16_t kReplyTicks = 300;

class UploadTransfer {
 public:
  UploadTransfer(Platform& platform, TransferPolicy policy);
  ~UploadTransfer();
  UploadTransfer(const UploadTransfer&) = delete;
  UploadTransfer& operator=(const UploadTransfer&) = delete;

  // Takes host, port and path from "http://host[:port][/path]", as the free function reads them.
  // All or nothing: a failing address changes nothing.
  void ParseServerAddress(std::u16string_view address);
  const ServerAddress& Address() const { return m_address; }
  void SetAddress(ServerAddress address);

  // The ten-line request header for a package of `content_length` bytes, for `path` (the
  // transfer's own path when empty), announcing the boundary the last package was prepared with.
  std::u16string BuildRequestHeader(int64_t content_length, std::u16string_view path = {}) const;

  // Prepares the package (files measured, boundary chosen), connects and hands the request to
  // the socket, which sends file contents straight from their files; returns before any reply.
  // Nothing is copied to a temporary file. `path`, when
  // given, replaces the transfer's path for this one request (an article post goes to the post
  // path on the upload host); the transfer's own path does not change. Refused inside a wait,
  // as RefuseInsideWait says.
  void UploadFile(std::u16string_view path = {},
                  HttpReply::Accept accept = HttpReply::Accept::kStatus200);
  // Yields until the reply has been recognised or 300 ticks passed without progress.
  void WaitForReply();
  // Closes the connection if it is open, waiting up to 6 ticks for it to close.
  void CloseConnection();

  // Raises 5 when one of the transfer's own waits is under way: a start made from a callback
  // the wait yielded to (a page's timer, a click) would close the connection the waiting call is
  // using and hand it the newer reply. Raises 28 when the waits of all transfers nest too deep
  // for the page's script engine. Start methods call it before they change anything.
  void RefuseInsideWait() const;
  // Raises 5 kTransferUnderWay when `busy`: a page's call into a control whose own run (a
  // folder, a batch, an import) is under way, which would change what that run sends or the
  // files it works in. The run's own steps do not come through here.
  static void RefuseWhileBusy(bool busy);

  // The transfer as every start method runs it: progress 0, fill the emptied package, upload
  // (to `path` when given, as UploadFile does), wait, close, progress 100.
  void Run(const std::function<void(CompondFile&)>& fill, std::u16string_view path = {},
           HttpReply::Accept accept = HttpReply::Accept::kStatus200);
  // The same on the package as it stands: `fill` adds to what the page put in it.
  void RunAsItStands(const std::function<void(CompondFile&)>& fill);

  CompondFile& Package() { return m_package; }
  const std::u16string& Reply() const { return m_reply; }
  void SetReply(std::u16string reply) { m_reply = std::move(reply); }

  TransferOutcome LastOutcome() const { return m_outcome; }
  // The status of the last transfer's reply, as the server sent it; 0 when no reply came.
  int LastStatus() const { return m_status; }

  bool Finished() const { return m_finished; }
  void SetFinished(bool finished) { m_finished = finished; }
  int16_t Ticks() const { return m_ticks; }
  const std::u16string& Host() const { return m_address.host; }
  std::u16string Port() const { return DecimalText(m_address.port); }
  const std::u16string& Path() const { return m_address.path; }

 private:
  void AddressSocket();
  void OnTick();
  void OnDataArrival();
  void OnPeerClosed();
  void OnSendProgress(int64_t sent, int64_t remaining);
  void OnSocketError(int32_t number, const std::u16string& description);
  void RunSteps(const std::function<void(CompondFile&)>& fill, bool empty_first,
                std::u16string_view path, HttpReply::Accept accept);
  void ShowProgress(double percent);
  void ShowErrorBox(const std::u16string& text);
  // The message for a file that ended before the length the request announced, naming it.
  std::u16string ShrunkFilesText() const;
  // Acts on the reply once it is whole.
  void Judge();
  void EndTransfer();
  void Failed(TransferOutcome outcome);
  // Chooses the package's boundary: a large package's on a thread of its own while the loop
  // goes on, since reading every byte of a large file from the disk can take seconds.
  std::string ChooseBoundary(const std::function<std::string()>& choose, int64_t file_bytes);
  // Yields while `keep_waiting` holds and fewer than `limit` ticks have passed.
  template <typename Predicate>
  void WaitTicks(int16_t limit, Predicate keep_waiting);
  // The tick timer as the steps turn it on and off. The loop's timer runs only while it is on
  // and something reads the count: one of the transfer's waits, or a reply on its way that a
  // later wait will time. An idle control costs the loop nothing, and nothing reads the count
  // meanwhile: every wait starts it from 0.
  void SetTicking(bool on);
  void UpdateTicking();

  Platform& m_platform;
  TransferPolicy m_policy;
  std::unique_ptr<TcpSocket> m_socket;
  Timer m_timer;
  CompondFile m_package;
  HttpReply m_received;

  bool m_finished = false;
  TransferOutcome m_outcome = TransferOutcome::kNone;
  int m_status = 0;
  HttpReply::Accept m_accept = HttpReply::Accept::kStatus200;
  int16_t m_ticks = 0;
  bool m_awaiting_reply = false;
  bool m_tick_on = false;
  // How many of the transfer's tick waits are on the stack.
  int m_tick_waits = 0;
  bool m_in_progress_yield = false;
  // How many of this transfer's waits and yields are on the stack.
  int m_yields = 0;
  std::string m_boundary = kBoundary;
  ServerAddress m_address;
  std::u16string m_reply;
  // The files of the request being sent, with the lengths it announced for them.
  std::vector<std::pair<velmaris::UploadFile, int64_t>> m_sending;
};

}  // namespace velmaris
