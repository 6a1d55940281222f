#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <vector>

#include "emulator/controller_model.h"
#include "emulator/demo_show.h"
#include "emulator/faults.h"
#include "emulator/memory_file.h"
#include "link/frames.h"

namespace velora {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kAck{0x06, 0x03, 0xF7};
const Bytes kNak{0x15, 0x03, 0xE8};

Bytes shortFrame(std::uint8_t code) {
    const ShortFrame f = buildShortFrame(code);
    return Bytes(f.begin(), f.end());
}

Bytes blockRequest(bool write, std::uint8_t type, std::uint32_t address, std::size_t length,
                   const Bytes& payload = {}) {
    FrameBuffer buffer{};
    const std::size_t n = buildBlockRequest(buffer, write, type, address, length, payload);
    return Bytes(buffer.begin(), buffer.begin() + static_cast<long>(n));
}

Bytes pattern(std::size_t n, unsigned seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + seed);
    return b;
}

void append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

Bytes feedInChunks(ControllerModel& model, const Bytes& stream, const std::vector<std::size_t>& chunks) {
    Bytes out;
    std::size_t at = 0, i = 0;
    while (at < stream.size()) {
        const std::size_t n = std::min(chunks[i++ % chunks.size()], stream.size() - at);
        append(out, model.feed(std::span<const std::uint8_t>(stream).subspan(at, n)));
        at += n;
    }
    return out;
}

TEST(ControllerModel, HostileStreamResynchronisesAndAnswersTheGoodFrames) {
    const Bytes block7 = pattern(128, 3);
    Bytes stream{0xFF, 0x00, 0x13, 0x06, 0x55, 0x03};  // garbage
    append(stream, shortFrame(kCodeProbe));
    append(stream, {0x1B, 0x04, 0xE1});  // a short frame with a wrong second byte
    Bytes wrongLength{0x11, 0x26, 0x00, 0x00, 0x40};
    append(wrongLength, Bytes(64, 0xAA));
    wrongLength.push_back(frameChecksum(wrongLength));
    append(stream, wrongLength);
    append(stream, shortFrame(kCodeVersionQuery));
    append(stream, {0x1B, 0x03, 0xE3});  // probe with a wrong checksum
    Bytes truncated{0x11, 0x26, 0x05, 0x00, 0x80};
    append(truncated, Bytes(60, 0x00));
    append(stream, truncated);  // ...swallows the start of the next frame
    append(stream, blockRequest(true, kTypeMemory, 7, 128, block7));
    append(stream, shortFrame(kCodeProbe));
    append(stream, blockRequest(false, kTypeMemory, 7, 128));

    Bytes expected = kAck;
    append(expected, {0x13, 0x06, 0x00, 0x00, 0x03, 0x05, 0x01, 'b', 0x7C});
    append(expected, kNak);  // the damaged probe
    append(expected, kNak);  // the truncated frame with what it swallowed
    append(expected, kAck);  // block 7, found again inside the damaged frame
    append(expected, kAck);
    Bytes readBack{0x13, 0x26, 0x07, 0x00, 0x80};
    append(readBack, block7);
    readBack.push_back(frameChecksum(readBack));
    append(expected, readBack);

    const std::vector<std::vector<std::size_t>> ways{{stream.size()}, {1}, {2, 3, 5, 7, 11, 13}, {133, 1}};
    for (const auto& chunks : ways) {
        ControllerModel model;
        EXPECT_EQ(feedInChunks(model, stream, chunks), expected) << "chunks of " << chunks[0];
        EXPECT_TRUE(std::equal(block7.begin(), block7.end(), model.block(7).begin()));
        EXPECT_EQ(model.block(5)[0], 0);  // the truncated write did nothing
        EXPECT_EQ(model.counters().frames, 5u);
        EXPECT_EQ(model.counters().badChecksums, 2u);
        EXPECT_GT(model.counters().discardedBytes, 70u);
        EXPECT_FALSE(model.midFrame());
    }

    // A megabyte of noise: no crash, and after a silence the controller
    // answers again.
    ControllerModel model;
    std::mt19937 noise(11);
    Bytes random(1 << 20);
    for (auto& b : random) b = static_cast<std::uint8_t>(noise());
    model.feed(random);
    model.receiveTimeout();
    EXPECT_FALSE(model.midFrame());
    EXPECT_EQ(model.feed(shortFrame(kCodeProbe)), kAck);
}

TEST(ControllerModel, RepliesAreByteExact) {
    ControllerModel model;
    EXPECT_EQ(model.feed(shortFrame(kCodeProbe)), kAck);
    EXPECT_EQ(model.feed(shortFrame(kCodeVersionQuery)), (Bytes{0x13, 0x06, 0, 0, 3, 5, 1, 'b', 0x7C}));
    model.setVersion(*FirmwareVersion::parse("2.10C"));
    Bytes version{0x13, 0x06, 0, 0, 3, 10, 2, 'C'};
    version.push_back(frameChecksum(version));
    EXPECT_EQ(model.feed(shortFrame(kCodeVersionQuery)), version);
    EXPECT_FALSE(FirmwareVersion::parse("1.5"));
    EXPECT_FALSE(FirmwareVersion::parse("1.05b7"));
    EXPECT_EQ(FirmwareVersion::parse("3.07")->text(), "3.07");

    // A fresh controller holds an empty show: block 2045 with its reserved bytes.
    EXPECT_EQ(model.block(2045)[24], 0xFF);
    EXPECT_EQ(model.block(2045)[80], 0xFF);

    // Memory block written, then read back with the same address bytes.
    const Bytes data = pattern(128, 9);
    EXPECT_EQ(model.feed(blockRequest(true, kTypeMemory, 2047, 128, data)), kAck);
    Bytes reply{0x13, 0x26, 0xFF, 0x07, 0x80};
    append(reply, data);
    reply.push_back(frameChecksum(reply));
    EXPECT_EQ(model.feed(blockRequest(false, kTypeMemory, 2047, 128)), reply);

    // Firmware record above 0xFFFF travels with type 0xE6, and is answered so.
    const Bytes record = pattern(16, 1);
    EXPECT_EQ(model.feed(blockRequest(true, 0xE6, 0x1E000, 16, record)), kAck);
    EXPECT_EQ(model.firmwareMemory()[0x1E000], record[0]);
    EXPECT_EQ(model.firmwareMemory()[0x1E00F], record[15]);
    Bytes recordReply{0x13, 0xE6, 0x00, 0xE0, 0x10};
    append(recordReply, record);
    recordReply.push_back(frameChecksum(recordReply));
    EXPECT_EQ(model.feed(blockRequest(false, 0xE6, 0x1E000, 16)), recordReply);
    EXPECT_EQ(model.feed(blockRequest(true, 0x66, 0xFFFF, 1, {0x42})), kAck);
    Bytes lowRecord{0x13, 0x66, 0xFF, 0xFF, 1, 0x42};
    lowRecord.push_back(frameChecksum(lowRecord));
    EXPECT_EQ(model.feed(blockRequest(false, 0x66, 0xFFFF, 1)), lowRecord);
    EXPECT_EQ(model.feed(blockRequest(false, 0x66, 0x10, 0)), (Bytes{0x13, 0x66, 0x10, 0x00, 0, 0x77}));

    // Well-formed but impossible: refused with a NAK, nothing written.
    EXPECT_EQ(model.feed(blockRequest(false, kTypeMemory, 2048, 128)), kNak);
    EXPECT_EQ(model.feed(blockRequest(true, 0xE6, 0x1E010, 16, record)), kNak);
    EXPECT_EQ(model.feed(blockRequest(true, 0xE6, 0x1E00F, 16, record)), kAck);
    EXPECT_EQ(model.counters().refused, 2u);

    // Restart: no reply, counted.
    EXPECT_TRUE(model.feed(shortFrame(kCodeRestart)).empty());
    EXPECT_EQ(model.counters().restarts, 1u);
    EXPECT_EQ(model.counters().blockWrites, 1u);
    EXPECT_EQ(model.counters().recordWrites, 3u);
}

TEST(Faults, EachKindDoesWhatItSays) {
    ControllerModel model;
    const char* rules[] = {"nak@1",   "checksum@2", "short@3",   "address@4",      "type@5",
                           "extra@6", "silence@7",  "garbage@8", "delay@9:ms=400", "drop@10"};
    for (const char* rule : rules) ASSERT_TRUE(model.faults().add(rule)) << rule;
    const Bytes data = pattern(128, 5);
    const Bytes readBlock3 = blockRequest(false, kTypeMemory, 3, 128);
    const Bytes probe = shortFrame(kCodeProbe);

    EXPECT_EQ(model.feed(blockRequest(true, kTypeMemory, 3, 128, data)), kNak);  // 1
    EXPECT_EQ(model.block(3)[1], 0);                                             // not carried out
    EXPECT_EQ(model.feed(probe), (Bytes{0x06, 0x03, 0xF6}));                     // 2
    EXPECT_EQ(model.feed(readBlock3).size(), 67u);                               // 3
    EXPECT_EQ(judgeDataReply(model.feed(readBlock3), 3).errorText(),             // 4
              "Communication error : return adress 4");
    const Bytes wrongType = model.feed(readBlock3);  // 5
    const auto judged = judgeDataReply(wrongType, 3);
    EXPECT_TRUE(judged.valid());
    EXPECT_FALSE(replyMatchesRequest(judged, Request::ReadMemoryBlock));
    Bytes twoAcks = kAck;
    append(twoAcks, kAck);
    EXPECT_EQ(model.feed(probe), twoAcks);                                           // 6
    EXPECT_TRUE(model.feed(blockRequest(true, kTypeMemory, 3, 128, data)).empty());  // 7
    EXPECT_EQ(model.block(3)[1], 0);
    const Bytes garbage = model.feed(readBlock3);  // 8
    EXPECT_EQ(garbage.size(), 134u);
    EXPECT_FALSE(judgeDataReply(garbage, 3).valid());
    const std::vector<Reply> delayed = model.receive(probe);  // 9
    ASSERT_EQ(delayed.size(), 1u);
    EXPECT_EQ(delayed[0].bytes, kAck);
    EXPECT_EQ(delayed[0].delay, std::chrono::milliseconds(400));
    const std::vector<Reply> dropped = model.receive(probe);  // 10
    ASSERT_EQ(dropped.size(), 1u);
    EXPECT_TRUE(dropped[0].dropLine);
    EXPECT_TRUE(model.lineDropped());
    EXPECT_TRUE(model.feed(probe).empty());  // nothing while the line is gone
    model.reconnect();
    EXPECT_EQ(model.feed(probe), kAck);
    EXPECT_EQ(model.faults().injected(), 10u);

    // Random rules: the same seed picks the same frames, about as often as asked.
    auto hits = [](const char* rule) {
        FaultPlan plan;
        EXPECT_TRUE(plan.add(rule));
        std::vector<std::uint64_t> frames;
        for (std::uint64_t f = 1; f <= 400; ++f)
            if (plan.forFrame(f)) frames.push_back(f);
        return frames;
    };
    const auto first = hits("checksum@random:0.25:seed=7");
    EXPECT_EQ(first, hits("checksum@random:0.25:seed=7"));
    EXPECT_NE(first, hits("checksum@random:0.25:seed=8"));
    EXPECT_GT(first.size(), 60u);
    EXPECT_LT(first.size(), 140u);
    EXPECT_TRUE(hits("nak@random:0").empty());
    EXPECT_EQ(hits("nak@random:1").size(), 400u);
    EXPECT_EQ(hits("silence@398-").size(), 3u);
}

TEST(Faults, RuleSyntax) {
    for (const char* good : {"nak@5", "silence@12", "drop@100", "checksum@random:0.01:seed=7",
                             "delay@3-4:ms=400", "extra@2-", "garbage@random:1"}) {
        const auto rule = parseFaultRule(good);
        ASSERT_TRUE(rule) << good;
        EXPECT_EQ(parseFaultRule(rule->text())->text(), rule->text());
    }
    EXPECT_EQ(parseFaultRule("checksum@random:0.01:seed=7")->text(), "checksum@random:0.01:seed=7");
    EXPECT_EQ(parseFaultRule("delay@3-4:ms=400")->text(), "delay@3-4:ms=400");
    EXPECT_EQ(parseFaultRule("delay@3")->delay, std::chrono::milliseconds(250));

    std::string error;
    for (const char* bad :
         {"nak", "nak@", "nak@0", "bogus@1", "nak@5-3", "nak@x", "nak@random:1.5", "nak@random", "nak@1:ms=5",
          "delay@1:ms=x", "nak@1:seed=3", "nak@random:0.1:sneed=1"}) {
        error.clear();
        EXPECT_FALSE(parseFaultRule(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

class MemoryFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("velora-emu-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::size_t filesIn() const {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()));
    }
    std::filesystem::path dir_;
};

TEST_F(MemoryFileTest, SavesAtomicallyAndRefusesForeignFiles) {
    const auto path = dir_ / "memory.bin";
    std::string error;
    auto model = std::make_unique<ControllerModel>();
    EXPECT_EQ(loadMemoryFile(*model, path, error), MemoryLoad::Missing);
    loadDemoShow(*model);
    model->firmwareMemory()[0x1E00F] = 0x5A;
    ASSERT_TRUE(saveMemoryFile(*model, path, error)) << error;
    EXPECT_EQ(std::filesystem::file_size(path),
              ControllerModel::kDataMemorySize + ControllerModel::kFirmwareMemorySize);

    auto loaded = std::make_unique<ControllerModel>();
    ASSERT_EQ(loadMemoryFile(*loaded, path, error), MemoryLoad::Loaded) << error;
    EXPECT_TRUE(std::ranges::equal(loaded->dataMemory(), model->dataMemory()));
    EXPECT_EQ(loaded->firmwareMemory()[0x1E00F], 0x5A);

    // Saving over it again replaces it and leaves no temporary file behind.
    model->block(0)[0] = 99;
    ASSERT_TRUE(saveMemoryFile(*model, path, error));
    EXPECT_EQ(filesIn(), 1u);

    // A save that cannot finish (the target is a directory) keeps what was
    // there and removes its temporary file.
    const auto blocked = dir_ / "blocked";
    std::filesystem::create_directories(blocked / "inside");
    EXPECT_FALSE(saveMemoryFile(*model, blocked, error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(std::filesystem::is_directory(blocked / "inside"));
    EXPECT_EQ(filesIn(), 2u);
    EXPECT_FALSE(saveMemoryFile(*model, dir_ / "missing" / "memory.bin", error));

    // A file of the wrong size is refused and the model stays as it was.
    const auto foreign = dir_ / "foreign.bin";
    std::ofstream(foreign, std::ios::binary) << "not a controller";
    auto untouched = std::make_unique<ControllerModel>();
    EXPECT_EQ(loadMemoryFile(*untouched, foreign, error), MemoryLoad::Failed);
    EXPECT_NE(error.find("wrong size"), std::string::npos);
    EXPECT_EQ(untouched->block(2045)[24], 0xFF);
}

TEST(DemoShow, IsDeterministicAndLooksLikeAShow) {
    auto a = std::make_unique<ControllerImage>();
    auto b = std::make_unique<ControllerImage>();
    fillDemoShow(*a);
    fillDemoShow(*b);
    for (std::uint32_t block = 0; block < kBlocks; ++block)
        ASSERT_EQ(packBlock(*a, block), packBlock(*b, block));

    // Scenes differ from step to step (something moves), and the empty
    // programmes stay dark.
    EXPECT_NE(a->scenes[0], a->scenes[1]);
    EXPECT_NE(a->scenes[static_cast<std::size_t>(sceneIndexOf(1, 0))],
              a->scenes[static_cast<std::size_t>(sceneIndexOf(1, 5))]);
    EXPECT_EQ(a->scenes[static_cast<std::size_t>(sceneIndexOf(10, 0))], (std::array<std::uint8_t, 256>{}));
    int litScenes = 0;
    for (const auto& scene : a->scenes) litScenes += scene != std::array<std::uint8_t, 256>{};
    EXPECT_GT(litScenes, 150);

    EXPECT_EQ(a->endScene[0], 32);
    EXPECT_EQ(a->speedSync[2], 255);  // music
    EXPECT_EQ(a->speedSync[3], 254);  // MIDI
    EXPECT_EQ(a->cues[0][0], 0);
    EXPECT_EQ(a->cues[0][15], kEmptyCue);
    EXPECT_EQ(a->extraScene, kNoScene);
    EXPECT_NE(a->slowMode, 0);
    EXPECT_EQ(a->midi[36] & 0x3FF, 0);
    EXPECT_EQ(a->midi[36] & 0x9000, 0x9000);  // assigned and triggered in field 1

    // In the controller, read back as the PC would, it is the same show.
    ControllerModel model;
    loadDemoShow(model);
    auto readBack = std::make_unique<ControllerImage>();
    model.storeInto(*readBack);
    for (std::uint32_t block = 0; block < kBlocks; ++block)
        ASSERT_EQ(packBlock(*readBack, block), packBlock(*a, block));
}

}  // namespace
}  // namespace velora
