#include "core/upload_transfer.h"

#include <atomic>
#include <future>

#include "base/codepage.h"
#include "base/error.h"
#include "base/scope.h"
#include "base/text.h"
#include "platform/filesystem.h"
#include "platform/socket_errors.h"

namespace velmaris {

namespace {

// How many transfers' waits are on the thread's stack. Each yield may run a page's timer that
// starts another control's transfer, whose wait yields in turn: past this depth the script
// engine's own stack gives out, so the innermost start is refused while the page can still catch
// it.
thread_local int t_nested_waits = 0;
constexpr int kMaxNestedWaits = 64;

// Counts a yield of the transfer for as long as it lasts, in the transfer and on the thread, and
// keeps the transfer's package sealed meanwhile.
class Yielding {
 public:
  Yielding(int& count, CompondFile& package) : m_count(count), m_package(package) {
    ++m_count;
    ++t_nested_waits;
    m_package.Seal();
  }
  ~Yielding() {
    --m_count;
    --t_nested_waits;
    m_package.Unseal();
  }
  Yielding(const Yielding&) = delete;
  Yielding& operator=(const Yielding&) = delete;

 private:
  int& m_count;
  CompondFile& m_package;
};

// From this many bytes of files on, the boundary is chosen aside.
constexpr int64_t kChooseAsideFrom = 16 * 1024 * 1024;

constexpr char16_t kFileShrank[] = u"文件在发送过程中变小了，上传已中止：";

}  // namespace

UploadTransfer::UploadTransfer(Platform& platform, TransferPolicy policy)
    : m_platform(platform),
      m_policy(std::move(policy)),
      m_socket(platform.new_socket()),
      m_clock(platform.loop),
      m_address{kLoopbackHost, 80, m_policy.default_path} {
  AddressSocket();
  m_socket->on_data_arrival = [this](int64_t) { OnDataArrival(); };
  m_socket->on_close = [this] { OnPeerClosed(); };
  m_socket->on_send_progress = [this](int64_t sent, int64_t remaining) {
    OnSendProgress(sent, remaining);
  };
  m_socket->on_error = [this](int32_t number, const std::u16string& description) {
    OnSocketError(number, description);
  };
}

UploadTransfer::~UploadTransfer() {
  m_socket->on_data_arrival = nullptr;
  m_socket->on_close = nullptr;
  m_socket->on_send_progress = nullptr;
  m_socket->on_error = nullptr;
}

void UploadTransfer::ParseServerAddress(std::u16string_view address) {
  SetAddress(velmaris::ParseServerAddress(address, m_address));
}

void UploadTransfer::SetAddress(ServerAddress address) {
  m_address = std::move(address);
  // A page that changes the address while a request waits changes the next request, never the
  // connection under way or the name its certificate is checked against: every connect gives
  // the socket the address anew.
  if (m_yields == 0) AddressSocket();
}

void UploadTransfer::AddressSocket() {
  m_socket->SetRemoteHost(m_address.host);
  m_socket->SetRemotePort(m_address.port);
  m_socket->SetSecure(m_address.secure);
}

std::u16string RequestHeader(const ServerAddress& to, std::u16string_view path,
                             std::string_view boundary, int64_t content_length) {
  std::u16string header;
  header += u"POST " + std::u16string(path) + u" HTTP/1.1\r\n";
  header +=
      u"Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/msword, "
      u"application/vnd.ms-excel, */*\r\n";
  header += u"Accept-Language: zh-cn\r\n";
  header += u"Content-Type: multipart/form-data; boundary=" + AsciiToU16(boundary) + u"\r\n";
  header += u"Accept-Encoding: gzip , deflate\r\n";
  header += u"User-Agent: Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0)\r\n";
  header += u"Host: " + to.host + u":" + DecimalText(to.port) + u"\r\n";
  // The length is written as the classic runtime formats a number: a blank for its sign.
  header += u"Content-Length:  " + DecimalText(content_length) + u"\r\n";
  header += u"Connection: Keep-Alive\r\n";
  header += u"\r\n";
  return header;
}

std::string UploadTransfer::ChooseBoundary(const std::function<std::string()>& choose,
                                           int64_t file_bytes) {
  if (file_bytes < kChooseAsideFrom) return choose();
  MessageLoop& loop = m_platform.loop;
  std::atomic<bool> chosen{false};
  // Declared last, so that leaving early still waits for the thread before what it uses goes.
  auto boundary = std::async(std::launch::async, [&] {
    ScopeExit wake([&] {
      chosen = true;
      loop.Post([] {});
    });
    return choose();
  });
  Yielding yielding(m_yields, m_package);
  while (!chosen) loop.WaitForEvent();
  return boundary.get();
}

void UploadTransfer::Wait(Deadline deadline, const std::function<bool()>& keep_waiting) {
  if (m_abandoned) throw TransferAbandoned{};
  {
    Yielding yielding(m_yields, m_package);
    m_clock.Wait(deadline, [&] { return !m_abandoned && keep_waiting(); });
  }
  if (m_abandoned) throw TransferAbandoned{};
}

void UploadTransfer::Abandon() {
  m_abandoned = true;
  if (m_socket->State() != TcpSocket::kClosed) m_socket->Close();
  m_clock.Stop();
}

void UploadTransfer::RefuseInsideWait() const {
  if (m_abandoned) throw TransferAbandoned{};
  if (m_yields > 0) Raise(err::kInvalidCall, kLibrarySource, kTransferUnderWay);
  if (t_nested_waits >= kMaxNestedWaits) Raise(err::kOutOfStack);
}

void UploadTransfer::RefuseWhileBusy(bool busy) {
  if (busy) Raise(err::kInvalidCall, kLibrarySource, kTransferUnderWay);
}

void UploadTransfer::UploadFile(std::u16string_view path, HttpReply::Accept accept) {
  RefuseInsideWait();
  m_outcome = TransferOutcome::kNone;
  m_status = 0;
  m_accept = accept;
  // Everything is measured and the boundary chosen before the connection is made: a file that
  // cannot be read fails the call as it always did, and nothing is written anywhere.
  PreparedPackage package =
      m_package.Prepare([this](const std::function<std::string()>& choose, int64_t file_bytes) {
        return ChooseBoundary(choose, file_bytes);
      });
  m_sending = std::move(package.files);
  std::string head = codepage::ToGbk(RequestHeader(m_address, path.empty() ? m_address.path : path,
                                                   package.boundary, package.length));

  CloseConnection();

  m_received.Reset(m_accept);
  m_clock.ForgetReply();
  AddressSocket();
  m_socket->Connect();
  // A connection that failed outright will not come: stop waiting at once.
  const auto connecting = [&] {
    int state = m_socket->State();
    return state != TcpSocket::kConnected && state != TcpSocket::kError;
  };
  Wait(Deadline::kConnect, [&] { return connecting() && !m_socket->Handshaking(); });
  const bool handshaking = m_socket->Handshaking();
  // TCP is connected: the handshake has a limit of its own.
  if (handshaking) Wait(Deadline::kHandshake, connecting);
  // Over HTTPS every failure is named, a step that ran out of time too; a plain connect that
  // runs out of time stays silent, as it always has.
  if (m_address.secure && connecting()) {
    static_assert(kHandshakeTicks == 100, "the handshake's text names its limit");
    ShowErrorBox(
        HandshakeFailure(m_address.host, handshaking ? kTlsHandshakeTimedOut : kTlsConnectTimedOut)
            .description);
  }

  if (m_socket->State() == TcpSocket::kConnected) {
    m_clock.ExpectReply();
    package.pieces.front().text.insert(0, head);
    for (auto& piece : package.pieces) {
      m_socket->SendData(std::move(piece.text));
      if (piece.file_length > 0) m_socket->SendFile(std::move(piece.file), piece.file_length);
    }
  } else {
    m_finished = true;
    m_outcome = TransferOutcome::kNotConnected;
    if (m_policy.keeps_reply) m_reply = kReplyError;
  }
}

void UploadTransfer::WaitForReply() {
  Wait(Deadline::kReply, [&] { return !m_finished; });
  if (!m_finished) {
    // Timed out: the result is not the previous transfer's.
    m_clock.ForgetReply();
    m_outcome = TransferOutcome::kTimedOut;
    if (m_policy.keeps_reply) m_reply = kReplyError;
  }
}

void UploadTransfer::CloseConnection() {
  if (m_socket->State() == TcpSocket::kClosed) return;
  m_socket->Close();
  Wait(Deadline::kClose, [&] { return m_socket->State() != TcpSocket::kClosed; });
  m_clock.Stop();
}

void UploadTransfer::Run(const std::function<void(CompondFile&)>& fill, std::u16string_view path,
                         HttpReply::Accept accept) {
  RunSteps(fill, true, path, accept);
}

void UploadTransfer::RunAsItStands(const std::function<void(CompondFile&)>& fill) {
  RunSteps(fill, false, {}, HttpReply::Accept::kStatus200);
}

void UploadTransfer::Send() {
  UploadFile({}, HttpReply::Accept::kStatus200);
}

void UploadTransfer::RunSteps(const std::function<void(CompondFile&)>& fill, bool empty_first,
                              std::u16string_view path, HttpReply::Accept accept) {
  RefuseInsideWait();
  SendAndWait(fill, empty_first, path, accept);
  CloseConnection();
  ShowProgress(100);
  m_platform.loop.Pump();
}

void UploadTransfer::SendAndWait(const std::function<void(CompondFile&)>& fill, bool empty_first,
                                 std::u16string_view path, HttpReply::Accept accept) {
  ShowProgress(0);
  m_platform.loop.Pump();
  if (empty_first) m_package.RemoveAll();
  fill(m_package);
  m_finished = false;
  UploadFile(path, accept);
  WaitForReply();
}

void UploadTransfer::Series::Run(const std::function<void(CompondFile&)>& fill) {
  m_transfer.SendAndWait(fill, true, {}, HttpReply::Accept::kStatus200);
  m_sent = true;
}

void UploadTransfer::Series::End() {
  // The last request's wait has normally ended already; with none sent there is nothing to wait
  // for, and a wait could only end by a timer nobody runs.
  if (m_sent) m_transfer.WaitForReply();
  m_transfer.CloseConnection();
}

void UploadTransfer::OnDataArrival() {
  std::string data = m_socket->GetData();
  if (!m_clock.ExpectingReply()) return;
  m_received.Append(data);
  Judge();
}

void UploadTransfer::OnPeerClosed() {
  if (!m_clock.ExpectingReply()) return;
  m_received.PeerClosed();
  Judge();
}

void UploadTransfer::EndTransfer() {
  m_clock.ForgetReply();
  m_finished = true;
  m_clock.Stop();
  m_socket->Close();
}

void UploadTransfer::Failed(TransferOutcome outcome) {
  EndTransfer();
  m_outcome = outcome;
  if (m_policy.keeps_reply) m_reply = kReplyError;
}

void UploadTransfer::Judge() {
  switch (m_received.Result()) {
    case HttpReply::Outcome::kPending:
      return;
    case HttpReply::Outcome::kSuccess:
      EndTransfer();
      m_outcome = TransferOutcome::kSuccess;
      m_status = m_received.StatusCode();
      if (m_policy.keeps_reply) m_reply = codepage::FromGbk(m_received.Body());
      return;
    case HttpReply::Outcome::kErrorReply:
      EndTransfer();
      m_outcome = m_received.TooLarge() ? TransferOutcome::kTooLarge : TransferOutcome::kErrorReply;
      m_status = m_received.StatusCode();
      if (m_policy.error_action) m_policy.error_action(codepage::FromGbk(m_received.Raw()));
      if (m_policy.keeps_reply) m_reply = kReplyError;
      return;
    case HttpReply::Outcome::kNoReply:
      Failed(TransferOutcome::kNoReply);
      return;
  }
}

void UploadTransfer::OnSendProgress(int64_t sent, int64_t remaining) {
  int64_t total = sent + remaining;
  ShowProgress(total <= 0
                   ? 100.0
                   : static_cast<double>(RoundHalfEven(static_cast<double>(sent) * 100.0 / total)));
  // Progress means the server is still taking the package: the reply's silence starts again.
  m_clock.Heard();
  if (m_in_progress_yield) return;
  Yielding yielding(m_yields, m_package);
  ScopedFlag in_yield(m_in_progress_yield);
  m_platform.loop.Pump();
}

void UploadTransfer::ShowErrorBox(const std::u16string& text) {
  // Nobody is left to read it.
  if (m_abandoned) return;
  if (m_policy.error_box) m_policy.error_box(text);
}

void UploadTransfer::ShowProgress(double percent) {
  if (m_policy.progress) m_policy.progress(percent);
}

void UploadTransfer::OnSocketError(int32_t number, const std::u16string& description) {
  if (m_clock.ExpectingReply()) {
    // A server that refuses a package often answers before it has read it all and closes, and
    // the rest of the send then fails: a whole reply that came first is judged as if the server
    // had closed after it. Only when none came is the failure the socket's.
    m_received.PeerClosed();
    Judge();
    auto result = m_received.Result();
    if (result == HttpReply::Outcome::kSuccess || result == HttpReply::Outcome::kErrorReply) return;
  }
  ShowErrorBox(number == err::kPastEndOfFile ? ShrunkFilesText() : description);
}

std::u16string UploadTransfer::ShrunkFilesText() const {
  std::u16string names;
  for (const auto& [part, length] : m_sending) {
    bool shrank = true;
    try {
      shrank = part.OpenContents().CurrentSize() < length;
    } catch (const VbError&) {
      // Gone or unreadable now: it is the one that failed.
    }
    if (shrank) names += (names.empty() ? u"" : u"、") + part.m_filename();
  }
  return kFileShrank + names;
}

}  // namespace velmaris
