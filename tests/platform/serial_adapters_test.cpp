// What a binding points at for an adapter, and the one line that sums an adapter up.
#include "platform/serial_adapters.h"

#include <gtest/gtest.h>

#include "support/qt_printers.h"

namespace torvex {
namespace {

TEST(SerialAdapters, WhatABindingNamesAndHowAnAdapterIsSummedUp) {
  const SerialAdapter ftdi{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A50285BI",
                           "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"};
  const SerialAdapter bare{"/dev/ttyS0", "", "", "", ""};
  EXPECT_EQ(BindingTarget(ftdi), ftdi.byIdPath);
  EXPECT_EQ(BindingTarget(bare), "/dev/ttyS0");
  EXPECT_EQ(AdapterSummary(ftdi), "/dev/ttyUSB0, FTDI FT232R USB UART, A50285BI");
  EXPECT_EQ(AdapterSummary({"/dev/ttyUSB1", "FTDI FT232R USB UART", "FTDI", "", ""}),
            "/dev/ttyUSB1, FTDI FT232R USB UART");
  EXPECT_EQ(AdapterSummary(bare), "/dev/ttyS0");
}

}  // namespace
}  // namespace torvex
