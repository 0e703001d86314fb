// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rdm/frame_view.h"
#include "sim/fault_plan.h"
#include "sim_bench.h"

namespace quillmont::testing {
namespace {

TEST(SimulatedLineTiming, ReplyBytesArriveOneByOneAtTheModelledTimesOnAnIdealAdapter) {
  SimBench bench({}, AdapterModel::Ideal());
  ASSERT_EQ(bench.Send(GET_COMMAND, DEVICE_MODEL_DESCRIPTION), 0);
  // Break from 0 to 200 us and a mark to 216 us; 26 request bytes of 44 us end at 1360 us;
  // 200 us turnaround and the reply's 188 us break and mark put the reply's first byte through
  // at 1792 us.
  ASSERT_EQ(bench.clock.NowMicros(), 216u);
  const uint64_t first = 216 + 26 * 44 + 200 + 188 + 44;
  const size_t size = 26 + std::string("Quillmont Sim Spot").size();
  bench.clock.AdvanceMicros(first - 1 - bench.clock.NowMicros());
  EXPECT_EQ(bench.Waiting(), 0u);
  bench.clock.AdvanceMicros(1);
  EXPECT_EQ(bench.Waiting(), 1u);
  bench.clock.AdvanceMicros(44 * (size - 1) - 1);
  EXPECT_EQ(bench.Waiting(), size - 1);
  bench.clock.AdvanceMicros(1);
  EXPECT_EQ(bench.Waiting(), size);

  // Only the arrived bytes can be read.
  uint8_t buffer[64] = {};
  uint32_t read = 0;
  EXPECT_EQ(bench.line.FT_Read(bench.link, buffer, sizeof buffer, &read), FT_OK);
  EXPECT_EQ(read, size);
  EXPECT_EQ(std::string(buffer + 24, buffer + 24 + buffer[23]), "Quillmont Sim Spot");
  EXPECT_TRUE(IsFrameChecksumGood(buffer, size));
}

TEST(SimulatedLineTiming, TheToolsReadsTakeTheReplyWhenItsLastPacketIsIn) {
  SimBench bench;
  const auto frame = bench.Exchange(GET_COMMAND, DMX_START_ADDRESS);
  ASSERT_EQ(frame.size(), 28u);
  EXPECT_EQ(ParameterData(frame), (std::vector<uint8_t>{0x00, 0x01}));
  // The request is through at 1360 us; the reply's NUL at 1604 us starts a USB packet that goes
  // at 2604 us with 19 reply bytes; the 9 after them go when their own packet's timer runs out,
  // at 3628 us: the reads take the reply then, not a poll later.
  EXPECT_EQ(bench.clock.NowMicros(), 3628u);
}

TEST(SimulatedLineTiming, AdapterOpensAt9600AndAWrongHostBaudGetsNothing) {
  VirtualClock clock;
  SimulatedLine line(clock);
  line.AddAdapter();
  line.AddFixture(0);
  std::ostringstream diag;
  LineIo io{line, clock, diag};
  LinkHandle link = nullptr;
  ASSERT_TRUE(OpenLink(io, link, 0));
  EXPECT_EQ(line.baud(0), 9600u);
  for (int baud : {9600, 115200}) {
    EXPECT_TRUE(SetLinkBaud(io, link, baud));
    SendRdmRequest(io, link, kFixtureUid, nullptr, 0, 0, GET_COMMAND, DEVICE_MODEL_DESCRIPTION);
    clock.SleepMs(200);
    uint32_t rx = 0, tx = 0, events = 0;
    EXPECT_EQ(line.FT_GetStatus(link, &rx, &tx, &events), FT_OK);
    EXPECT_EQ(rx, 0u) << baud;
  }
  EXPECT_EQ(line.replies(0), 0u);
  EXPECT_TRUE(SetLinkBaud(io, link, 250000));
  SendRdmRequest(io, link, kFixtureUid, nullptr, 0, 0, GET_COMMAND, DEVICE_MODEL_DESCRIPTION);
  clock.SleepMs(10);
  EXPECT_EQ(line.replies(0), 1u);
}

TEST(SimulatedLineTiming, OnlyAFrameAfterABreakIsARequest) {
  SimBench bench;
  uint8_t frame[kRdmFrameBufferSize] = {};
  RdmFrameFields fields;
  fields.destination = kFixtureUid;
  fields.source = kControllerUid;
  fields.command_class = GET_COMMAND;
  fields.pid = DMX_START_ADDRESS;
  const size_t size = BuildRdmFrame(fields, frame);
  uint32_t written = 0;

  // No break at all.
  EXPECT_EQ(bench.line.FT_Write(bench.link, frame, size, &written), FT_OK);
  EXPECT_EQ(written, size);
  // A break too short to count (held for no time).
  bench.line.FT_SetBreakOn(bench.link);
  bench.line.FT_SetBreakOff(bench.link);
  bench.line.FT_Write(bench.link, frame, size, &written);
  // Written while the break is still held.
  bench.line.FT_SetBreakOn(bench.link);
  bench.clock.SleepMs(1);
  bench.line.FT_Write(bench.link, frame, size, &written);
  bench.line.FT_SetBreakOff(bench.link);
  // A break serves one frame only.
  ASSERT_TRUE(SendBreak(bench.io, bench.link));
  bench.line.FT_Write(bench.link, frame, size, &written);
  bench.line.FT_Write(bench.link, frame, size, &written);
  bench.clock.SleepMs(50);
  EXPECT_EQ(bench.line.replies(0), 1u);
  EXPECT_EQ(bench.Waiting(), 1u + 28u);  // the reply's break as a NUL, then the reply
}

TEST(SimulatedLineTiming, AFixtureTakesAFrameOnlyAfterABreakOf88AndAMarkOf8Microseconds) {
  const struct {
    uint64_t break_micros;
    uint64_t mark_micros;
    bool taken;
  } cases[] = {{87, 16, false}, {88, 16, true}, {200, 7, false}, {200, 8, true}};
  for (const auto& c : cases) {
    SimBench bench;
    uint8_t frame[kRdmFrameBufferSize] = {};
    RdmFrameFields fields;
    fields.destination = kFixtureUid;
    fields.source = kControllerUid;
    fields.command_class = GET_COMMAND;
    fields.pid = DMX_START_ADDRESS;
    const size_t size = BuildRdmFrame(fields, frame);
    bench.line.FT_SetBreakOn(bench.link);
    bench.clock.SleepMicros(c.break_micros);
    bench.line.FT_SetBreakOff(bench.link);
    bench.clock.SleepMicros(c.mark_micros);
    uint32_t written = 0;
    bench.line.FT_Write(bench.link, frame, static_cast<uint32_t>(size), &written);
    bench.clock.SleepMs(20);
    EXPECT_EQ(bench.line.replies(0), c.taken ? 1u : 0u)
        << "break " << c.break_micros << " us, mark " << c.mark_micros << " us";
  }
}

TEST(SimulatedAdapterProfiles, WhatEachAdapterHandsBackOfItsOwnRequest) {
  // An FTDI cable with its receiver on: its break's NUL, the request, the reply's NUL, the reply.
  // A PL2303 clone: the request alone, for its break never reached the line, and no reply.
  for (const AdapterProfile profile : {AdapterProfile::kFtdiEcho, AdapterProfile::kPl2303}) {
    SimBench bench({}, ModelOfProfile(profile));
    const uint8_t pd[] = {0x00, 0x01};
    ASSERT_EQ(bench.Send(SET_COMMAND, DMX_START_ADDRESS, {pd[0], pd[1]}), 0);
    bench.clock.SleepMs(20);
    uint8_t buffer[128] = {};
    uint32_t read = 0;
    ASSERT_EQ(bench.line.FT_Read(bench.link, buffer, sizeof buffer, &read), FT_OK);
    const bool ftdi = profile == AdapterProfile::kFtdiEcho;
    ASSERT_EQ(read, ftdi ? 1u + 28u + 1u + 26u : 28u) << AdapterProfileName(profile);
    const uint8_t* request = buffer + (ftdi ? 1 : 0);
    EXPECT_EQ(buffer[0], ftdi ? 0x00 : 0xCC);
    EXPECT_EQ(request[kOffsetCommandClass], SET_COMMAND);
    if (ftdi) {
      EXPECT_EQ(request[28], 0x00);  // the reply's break
      EXPECT_EQ(request[29 + kOffsetCommandClass], SET_COMMAND_RESPONSE);
    }
  }
  // A CH340 stick still drives the line for 250 us after its request: the first two preamble
  // bytes of a discovery answer (from 200 us on) are lost.
  SimBench ch340({}, ModelOfProfile(AdapterProfile::kCh340));
  const uint8_t range[12] = {0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  ASSERT_EQ(
      ch340.Send(DISCOVERY_COMMAND, DISC_UNIQUE_BRANCH, std::vector<uint8_t>(range, range + 12),
                 {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
      0);
  ch340.clock.SleepMs(20);
  uint8_t heard[96] = {};
  uint32_t read = 0;
  ASSERT_EQ(ch340.line.FT_Read(ch340.link, heard, sizeof heard, &read), FT_OK);
  ASSERT_EQ(read, 1u + 38u + 22u);  // its NUL and request, then 5 preamble bytes and the rest
  EXPECT_EQ(std::vector<uint8_t>(heard + 39, heard + 45),
            (std::vector<uint8_t>{0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xAA}));
}

TEST(SimulatedLineTiming, StatusCountsBytesStillGoingOut) {
  SimBench bench;
  EXPECT_TRUE(SetLinkBaud(bench.io, bench.link, 9600));  // 1146 us a byte (rounded up per frame)
  uint8_t bytes[10] = {};
  uint32_t written = 0;
  bench.line.FT_Write(bench.link, bytes, 10, &written);
  uint32_t rx = 0, tx = 0, events = 0;
  bench.line.FT_GetStatus(bench.link, &rx, &tx, &events);
  EXPECT_EQ(tx, 10u);
  bench.clock.SleepMs(6);
  bench.line.FT_GetStatus(bench.link, &rx, &tx, &events);
  EXPECT_EQ(tx, 5u);
  bench.clock.SleepMs(6);
  bench.line.FT_GetStatus(bench.link, &rx, &tx, &events);
  EXPECT_EQ(tx, 0u);
}

// --- The adapter as real ones behave ---

void Install(SimBench& bench, const std::string& list) {
  const Result<FaultPlan> plan = ParseFaultList(list);
  ASSERT_TRUE(plan) << plan.error().message;
  bench.line.InstallFaults(0, *plan);
}

uint32_t WaitingAt(SimBench& bench, uint64_t micros) {
  bench.clock.AdvanceMicros(micros - bench.clock.NowMicros());
  return bench.Waiting();
}

TEST(SimulatedAdapter, AReplyComesAfterItsBreaksNulWhenTheLatencyTimerRunsOut) {
  SimBench bench;
  ASSERT_EQ(bench.Send(GET_COMMAND, DEVICE_MODEL_DESCRIPTION), 0);
  // The request is through at 1360 us; after 200 us of turnaround the reply's break reads as a
  // NUL at 1604 us, its 44 bytes follow from 1792 us, one every 44 us. Each 1 ms timer starts
  // with its packet's first byte.
  EXPECT_EQ(WaitingAt(bench, 2603), 0u);
  EXPECT_EQ(WaitingAt(bench, 2604), 20u);  // the NUL and 19 reply bytes
  EXPECT_EQ(WaitingAt(bench, 3627), 20u);
  EXPECT_EQ(WaitingAt(bench, 3628), 43u);
  EXPECT_EQ(WaitingAt(bench, 4639), 43u);
  EXPECT_EQ(WaitingAt(bench, 4640), 45u);
  uint8_t buffer[64] = {};
  uint32_t read = 0;
  EXPECT_EQ(bench.line.FT_Read(bench.link, buffer, sizeof buffer, &read), FT_OK);
  ASSERT_EQ(read, 45u);
  EXPECT_EQ(buffer[0], 0x00);
  EXPECT_EQ(buffer[1], kRdmStartCode);
  EXPECT_TRUE(IsFrameChecksumGood(buffer + 1, 44));
}

TEST(SimulatedAdapter, AFull62BytePacketGoesAtOnceAndTheRestWhenA16MsTimerRunsOut) {
  SimBench bench;
  Install(bench, "latency=16ms,noise@0us:100");  // a byte every 44 us from 44 us
  EXPECT_EQ(WaitingAt(bench, 62 * 44 - 1), 0u);
  EXPECT_EQ(WaitingAt(bench, 62 * 44), 62u);
  EXPECT_EQ(WaitingAt(bench, 63 * 44 + 16000 - 1), 62u);
  EXPECT_EQ(WaitingAt(bench, 63 * 44 + 16000), 100u);
}

TEST(SimulatedAdapter, ABreakWhileAFrameIsStillGoingOutCutsItUnlessTheAdapterIsIdeal) {
  const auto send = [](SimBench& bench, uint16_t pid) {
    SendRdmRequest(bench.io, bench.link, kFixtureUid, nullptr, 0, 0, GET_COMMAND, pid);
  };
  for (const bool ideal : {false, true}) {
    SimBench bench({}, ideal ? AdapterModel::Ideal() : AdapterModel{});
    send(bench, DMX_START_ADDRESS);         // its 26 bytes are still queued...
    send(bench, DEVICE_MODEL_DESCRIPTION);  // ...when this one's break comes
    bench.clock.SleepMs(20);
    EXPECT_EQ(bench.line.replies(0), ideal ? 2u : 1u) << ideal;
  }
  SimBench bench;
  send(bench, DMX_START_ADDRESS);
  send(bench, DEVICE_MODEL_DESCRIPTION);
  const auto frame = bench.ReadFrame();
  ASSERT_FALSE(frame.empty());
  EXPECT_EQ(RdmFrameView::Of(frame)->pid(), DEVICE_MODEL_DESCRIPTION);
}

TEST(SimulatedAdapter, AnEchoingAdapterHearsItsOwnBreakAndFrameBeforeTheReply) {
  SimBench bench;
  Install(bench, "echo");
  bench.Send(GET_COMMAND, DMX_START_ADDRESS);
  bench.clock.SleepMs(10);
  uint8_t buffer[128] = {};
  uint32_t read = 0;
  EXPECT_EQ(bench.line.FT_Read(bench.link, buffer, sizeof buffer, &read), FT_OK);
  ASSERT_EQ(read, 1u + 26 + 1 + 28);
  EXPECT_EQ(buffer[0], 0x00);
  EXPECT_EQ(buffer[1 + kOffsetCommandClass], GET_COMMAND);
  EXPECT_TRUE(IsFrameChecksumGood(buffer + 1, 26));
  EXPECT_EQ(buffer[27], 0x00);
  EXPECT_EQ(buffer[28 + kOffsetCommandClass], GET_COMMAND_RESPONSE);
  EXPECT_TRUE(IsFrameChecksumGood(buffer + 28, 28));
}

TEST(SimulatedLineHandles, NullUnknownAndClosedHandlesFailWithoutTouchingTheLine) {
  SimBench bench;
  uint8_t frame[26] = {};
  uint32_t written = 99;
  int not_a_handle = 0;
  EXPECT_EQ(bench.line.FT_Write(nullptr, frame, 26, &written), FT_INVALID_HANDLE);
  EXPECT_EQ(bench.line.FT_Write(&not_a_handle, frame, 26, &written), FT_INVALID_HANDLE);
  EXPECT_EQ(written, 99u);
  uint32_t status = 0;
  EXPECT_EQ(bench.line.FT_GetModemStatus(&not_a_handle, &status), FT_INVALID_HANDLE);
  EXPECT_EQ(bench.line.FT_Close(&not_a_handle), FT_INVALID_HANDLE);

  // A second open of an open adapter fails; after a close it works, at 9600 again.
  FT_HANDLE second = nullptr;
  EXPECT_EQ(bench.line.FT_Open(0, &second), FT_DEVICE_NOT_OPENED);
  EXPECT_EQ(bench.line.FT_Open(1, &second), FT_DEVICE_NOT_FOUND);
  const FT_HANDLE old = bench.link;
  EXPECT_EQ(bench.line.FT_Close(old), FT_OK);
  EXPECT_EQ(bench.line.FT_GetModemStatus(old, &status), FT_INVALID_HANDLE);
  EXPECT_EQ(bench.line.FT_Open(0, &second), FT_OK);
  EXPECT_EQ(bench.line.baud(0), 9600u);
}

TEST(SimulatedLineHandles, EachAdapterIsItsOwnLine) {
  VirtualClock clock;
  SimulatedLine line(clock);
  line.AddAdapter();
  line.AddAdapter();
  FixtureConfig other;
  other.uid = {0x4F, 0x4C, 0x00, 0x00, 0x00, 0x02};
  other.model_description = "Second";
  line.AddFixture(1, other);
  uint32_t count = 0;
  EXPECT_EQ(line.FT_CreateDeviceInfoList(&count), FT_OK);
  EXPECT_EQ(count, 2u);
  std::ostringstream diag;
  LineIo io{line, clock, diag};
  LinkHandle first = nullptr, second = nullptr;
  ASSERT_TRUE(OpenLink(io, first, 0));
  ASSERT_TRUE(OpenLink(io, second, 1));
  EXPECT_TRUE(SetLinkBaud(io, first, 250000));
  EXPECT_TRUE(SetLinkBaud(io, second, 250000));
  SendRdmRequest(io, first, other.uid, nullptr, 0, 0, GET_COMMAND, DEVICE_MODEL_DESCRIPTION);
  SendRdmRequest(io, second, other.uid, nullptr, 0, 0, GET_COMMAND, DEVICE_MODEL_DESCRIPTION);
  clock.SleepMs(10);
  EXPECT_EQ(line.replies(0), 0u);
  EXPECT_EQ(line.replies(1), 1u);
}

}  // namespace
}  // namespace quillmont::testing
