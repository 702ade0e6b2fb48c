// The upload address a page sets, on a transfer in the unit tests' fake-time world. The first
// byte picks the decoding (UTF-8, or raw UTF-16 when odd); the rest is the address. A parsed
// address must give a host without "/", a port from 1 to 65535 in plain decimal and a path from
// "/", all handed to the socket; a refused one must change nothing; neither may smuggle a line
// into the request header.
#include <cstdint>
#include <memory>
#include <string>

#include "base/error.h"
#include "core/upload_transfer.h"
#include "fuzz/fuzz_support.h"
#include "platform/headless/headless_ui.h"
#include "tests/support/fake_loop.h"
#include "tests/support/fake_socket.h"

namespace {

using velmaris::fuzz::Check;

constexpr char16_t kHost[] = u"a";
constexpr char16_t kPort[] = u"81";
constexpr char16_t kPath[] = u"/p";

struct World {
  velmaris::testing::FakeLoop loop;
  velmaris::HeadlessUi ui;
  velmaris::testing::FakeSocket* socket = nullptr;
  velmaris::Platform platform{loop, ui, [this] {
                                auto made = std::make_unique<velmaris::testing::FakeSocket>(loop);
                                socket = made.get();
                                return made;
                              }};
  velmaris::UploadTransfer transfer{platform, {.default_path = u"/upload.asp"}};
};

int32_t PortNumber(const std::u16string& port) {
  Check(!port.empty() && port.size() <= 5, "port length");
  Check(port.front() != u'0', "port with a leading zero");
  int32_t value = 0;
  for (char16_t c : port) {
    Check(c >= u'0' && c <= u'9', "port not decimal");
    value = value * 10 + (c - u'0');
  }
  Check(value >= 1 && value <= 65535, "port out of range");
  return value;
}

size_t CountLines(const std::u16string& text) {
  size_t lines = 0;
  for (size_t at = text.find(u'\n'); at != std::u16string::npos; at = text.find(u'\n', at + 1)) {
    ++lines;
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World* world = new World;  // one transfer for the whole run, as a control keeps its own
  if (size == 0) return 0;
  std::string_view rest = velmaris::fuzz::Bytes(data + 1, size - 1);
  const std::u16string address =
      (data[0] & 1) != 0 ? velmaris::fuzz::Utf16Text(rest) : velmaris::fuzz::Utf8Text(rest);

  velmaris::UploadTransfer& transfer = world->transfer;
  transfer.ParseServerAddress(u"http://a:81/p");
  bool parsed = true;
  try {
    transfer.ParseServerAddress(address);
  } catch (const velmaris::VbError& error) {
    parsed = false;
    const int32_t number = error.Number();
    Check(number == velmaris::err::kObjectError || number == velmaris::err::kTypeMismatch ||
              number == velmaris::err::kOverflow,
          "unexpected error number");
  }
  if (parsed) {
    Check(transfer.Host().find(u'/') == std::u16string::npos, "host holds a slash");
    Check(!transfer.Path().empty() && transfer.Path().front() == u'/', "path does not start at /");
    Check(world->socket->RemotePort() == PortNumber(transfer.Port()), "socket port differs");
  } else {
    Check(transfer.Host() == kHost && transfer.Port() == kPort && transfer.Path() == kPath,
          "a refused address changed a field");
    Check(world->socket->RemotePort() == 81, "a refused address changed the socket's port");
  }
  Check(world->socket->RemoteHost() == transfer.Host(), "socket host differs");
  Check(world->socket->Secure() == transfer.Address().secure, "socket scheme differs");
  const velmaris::ServerAddress& to = transfer.Address();
  Check(CountLines(velmaris::RequestHeader(to, to.path, velmaris::kBoundary, 1)) == 10,
        "the request header gained a line");
  return 0;
}
