// The HTTP upload transfer every control carries: one package sent as one POST request over one
// TCP connection, with the reply recognised from what arrives. Waits yield to the message loop
// and keep to the deadlines of the transfer's tick clock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/text.h"
#include "core/http_reply.h"
#include "core/multipart.h"
#include "core/server_address.h"
#include "core/tick_clock.h"
#include "platform/platform.h"

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

// Thrown out of a transfer whose page has gone (UploadTransfer::Abandon). It is no error of the
// system's: no handler takes it for one that a box should report, and the call unwinds to its
// caller, removing what it made on the way.
struct TransferAbandoned {};

// The ten-line request header of a package of `content_length` bytes for `path` on `to`,
// announcing the package's boundary.
std::u16string RequestHeader(const ServerAddress& to, std::u16string_view path,
                             std::string_view boundary, int64_t content_length);

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

  // Raises 5 when one of the transfer's own waits is under way: a start made from a callback
  // the wait yielded to (a page's timer, a click) would close the connection the waiting call is
  // using and hand it the newer reply. Raises 28 when the waits of all transfers nest too deep
  // for the page's script engine. Start methods call it before they change anything.
  void RefuseInsideWait() const;
  // Raises 5 kTransferUnderWay when `busy`: a page's call into a control whose own run (a
  // folder, a batch, an import) is under way, which would change what that run sends or the
  // files it works in. The run's own steps do not come through here.
  static void RefuseWhileBusy(bool busy);

  // The transfer as every start method runs it: progress 0, fill the emptied package, send it (to
  // `path` when given: an article post goes to the post path on the upload host, and the
  // transfer's own path does not change), wait for the reply, close, progress 100.
  void Run(const std::function<void(CompondFile&)>& fill, std::u16string_view path = {},
           HttpReply::Accept accept = HttpReply::Accept::kStatus200);
  // The same on the package as it stands: `fill` adds to what the page put in it.
  void RunAsItStands(const std::function<void(CompondFile&)>& fill);
  // Sends the package as it stands without waiting for the reply, which is judged when it
  // arrives. Refused inside a wait, as RefuseInsideWait says.
  void Send();

  // Requests a control runs one after another (a folder's files). Each shows progress 0, fills
  // the emptied package, sends it and waits for its reply as Run does, but is refused only as it
  // sends, and leaves the connection and the progress as its reply left them: the next request
  // closes the connection once its own package is ready, End after the last.
  class Series {
   public:
    explicit Series(UploadTransfer& transfer) : m_transfer(transfer) {}
    // Fills the emptied package, sends it and waits for the reply.
    void Run(const std::function<void(CompondFile&)>& fill);
    // After the last request: waits for a reply still to come, if any request went out, and
    // closes the connection.
    void End();

   private:
    UploadTransfer& m_transfer;
    bool m_sent = false;
  };

  // The page that held the control is gone: the connection closes at once, unfinished, no box is
  // shown, and the wait under way and every later wait or start throws TransferAbandoned.
  void Abandon();

  CompondFile& Package() { return m_package; }
  const std::u16string& Reply() const { return m_reply; }
  void SetReply(std::u16string reply) { m_reply = std::move(reply); }

  TransferOutcome LastOutcome() const { return m_outcome; }
  // The status of the last transfer's reply, as the server sent it; 0 when no reply came.
  int LastStatus() const { return m_status; }

  const std::u16string& Host() const { return m_address.host; }
  std::u16string Port() const { return DecimalText(m_address.port); }
  const std::u16string& Path() const { return m_address.path; }

 private:
  // The tests read the state the public face does not show.
  friend class TransferProbe;

  // Prepares the package (files measured, boundary chosen), connects and hands the request to
  // the socket, which sends file contents straight from their files; returns before any reply.
  // Nothing is copied to a temporary file.
  void UploadFile(std::u16string_view path, HttpReply::Accept accept);
  // Yields until the reply has been recognised or its deadline passed without progress.
  void WaitForReply();
  // Closes the connection if it is open, waiting for it to close.
  void CloseConnection();
  // Progress 0, the package filled, sent and its reply awaited.
  void SendAndWait(const std::function<void(CompondFile&)>& fill, bool empty_first,
                   std::u16string_view path, HttpReply::Accept accept);
  void AddressSocket();
  void OnDataArrival();
  void OnPeerClosed();
  void OnSendProgress(int64_t sent, int64_t remaining);
  void OnSocketError(int32_t number, const std::u16string& description);
  void RunSteps(const std::function<void(CompondFile&)>& fill, bool empty_first,
                std::u16string_view path, HttpReply::Accept accept);
  // Yields while `keep_waiting` holds and `deadline` has not passed.
  void Wait(Deadline deadline, const std::function<bool()>& keep_waiting);
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

  Platform& m_platform;
  TransferPolicy m_policy;
  std::unique_ptr<TcpSocket> m_socket;
  TickClock m_clock;
  CompondFile m_package;
  HttpReply m_received;

  bool m_finished = false;
  bool m_abandoned = false;
  TransferOutcome m_outcome = TransferOutcome::kNone;
  int m_status = 0;
  HttpReply::Accept m_accept = HttpReply::Accept::kStatus200;
  bool m_in_progress_yield = false;
  // How many of this transfer's waits and yields are on the stack.
  int m_yields = 0;
  ServerAddress m_address;
  std::u16string m_reply;
  // The files of the request being sent, with the lengths it announced for them.
  std::vector<std::pair<velmaris::UploadFile, int64_t>> m_sending;
};

}  // namespace velmaris
