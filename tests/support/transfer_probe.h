// What the tests read of a transfer beyond its public face.
#pragma once

#include <cstdint>

#include "core/upload_transfer.h"

namespace velmaris {

class TransferProbe {
 public:
  // Whether the last request's reply was judged or its connection never made.
  static bool Finished(const UploadTransfer& transfer) { return transfer.m_finished; }
  static int16_t Ticks(const UploadTransfer& transfer) { return transfer.m_clock.Ticks(); }
};

}  // namespace velmaris
