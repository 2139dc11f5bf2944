// The ASIO host against a scripted driver and COM factory: the choices of
// rate, channels and buffer size, the lifecycle, every failure text and the
// buffer-switch path.

#include "audio/AllocationCounter.h"
#include "audio/AsioHost.h"
#include "audio/AsioSampleConversion.h"
#include "platform/Output.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace qv::test {
namespace {

const char* kClsid = "{01234567-89AB-CDEF-0123-456789abcdef}";

// A driver whose answers the test sets; it records what the host asked.
class FakeAsioDriver : public IAsioDriver {
public:
    AsioBool init(void* handle) override {
        initHandles.push_back(handle);
        if (initResults.empty())
            return 1;
        const AsioBool result = initResults.front();
        initResults.erase(initResults.begin());
        return result;
    }
    void getDriverName(char* name) override { std::strcpy(name, "Fake Box"); }
    int32_t getDriverVersion() override { return 7; }
    // No terminator: the host adds one.
    void getErrorMessage(char* text) override { std::memset(text, 'x', 256); }
    AsioError start() override {
        ++starts;
        if (startResult == kAsioOk && driverThread)
            startThread();
        return startResult;
    }
    AsioError stop() override {
        ++stops;
        stopThread();
        return kAsioOk;
    }
    AsioError getChannels(int32_t* in, int32_t* out) override {
        *in = inputs;
        *out = outputs;
        return kAsioOk;
    }
    AsioError getLatencies(int32_t* in, int32_t* out) override {
        *in = 0;
        *out = outputLatency;
        return kAsioOk;
    }
    AsioError getBufferSize(int32_t* mn, int32_t* mx, int32_t* pref, int32_t* gran) override {
        *mn = minFrames;
        *mx = maxFrames;
        *pref = preferredFrames;
        *gran = granularity;
        return kAsioOk;
    }
    AsioError canSampleRate(double rate) override {
        for (double r : supportedRates)
            if (r == rate)
                return kAsioOk;
        return -995;
    }
    AsioError getSampleRate(double* rate) override {
        *rate = currentRate;
        return kAsioOk;
    }
    AsioError setSampleRate(double rate) override {
        setRates.push_back(rate);
        if (setRateResult == kAsioOk)
            currentRate = rate;
        return setRateResult;
    }
    AsioError getChannelInfo(AsioChannelInfo* info) override {
        info->type = type;
        return kAsioOk;
    }
    AsioError createBuffers(AsioBufferInfo* infos, int32_t count, int32_t frames, const AsioCallbacks* cb) override {
        createdCount = count;
        createdFrames = frames;
        callbacks = cb;
        if (createResult != kAsioOk)
            return createResult;
        const int width = asioSampleWidth(type) ? asioSampleWidth(type) : 4;
        memory.assign(static_cast<size_t>(count) * 2, std::vector<uint8_t>(static_cast<size_t>(frames * width), 0xAA));
        for (int32_t i = 0; i < count; ++i) {
            EXPECT_EQ(infos[i].isInput, 0);
            EXPECT_EQ(infos[i].channelNum, i);
            infos[i].buffers[0] = memory[static_cast<size_t>(i) * 2].data();
            infos[i].buffers[1] = memory[static_cast<size_t>(i) * 2 + 1].data();
        }
        return kAsioOk;
    }
    AsioError disposeBuffers() override {
        ++disposals;
        return kAsioOk;
    }
    AsioError outputReady() override {
        ++outputReadies;
        return kAsioOk;
    }
    void release() override { ++releases; }

    // The buffer of output channel c, half h.
    const std::vector<uint8_t>& buffer(int c, int h) const { return memory[static_cast<size_t>(c) * 2 + h]; }

    // A driver thread that delivers buffer switches while started.
    void startThread() {
        quit = false;
        thread = std::thread([this] {
            int32_t half = 0;
            while (!quit.load()) {
                callbacks->bufferSwitch(half, 1);
                half ^= 1;
                switches.fetch_add(1);
                std::this_thread::yield();
            }
        });
    }
    void stopThread() {
        quit = true;
        if (thread.joinable())
            thread.join();
    }

    // Answers.
    std::vector<AsioBool> initResults;
    int32_t inputs = 2, outputs = 8;
    int32_t outputLatency = 480;
    int32_t minFrames = 64, maxFrames = 2048, preferredFrames = 512, granularity = 32;
    std::vector<double> supportedRates = {44100.0, 48000.0};
    double currentRate = 44100.0;
    AsioError setRateResult = kAsioOk;
    int32_t type = AsioSampleType::kInt32Lsb;
    AsioError createResult = kAsioOk;
    AsioError startResult = kAsioOk;
    bool driverThread = false;

    // Record.
    std::vector<void*> initHandles;
    std::vector<double> setRates;
    int32_t createdCount = 0, createdFrames = 0;
    const AsioCallbacks* callbacks = nullptr;
    int starts = 0, stops = 0, disposals = 0, outputReadies = 0, releases = 0;
    std::vector<std::vector<uint8_t>> memory;
    std::thread thread;
    std::atomic<bool> quit{false};
    std::atomic<int> switches{0};
};

class FakeComFactory : public IAsioDriverFactory {
public:
    explicit FakeComFactory(FakeAsioDriver* driver) : m_driver(driver) {}
    AsioResult initialiseCom() override {
        comInits += comResult >= 0;  // successful set-ups only
        return comResult;
    }
    void uninitialiseCom() override { ++comUninits; }
    AsioResult createDriver(const AsioClassId& id, AsioDriverPtr& driver) override {
        lastId = id;
        if (createResult < 0)
            return createResult;
        driver.reset(m_driver);
        return 0;
    }
    void* foregroundWindow() override { return &foreground; }

    AsioResult comResult = 0;
    AsioResult createResult = 0;
    int comInits = 0, comUninits = 0;
    AsioClassId lastId;
    int foreground = 0;

private:
    FakeAsioDriver* m_driver;
};

class AsioHostTest : public ::testing::Test {
protected:
    AsioHostTest()
        : capture([this](OutputStream stream, std::string_view text) {
              std::lock_guard<std::mutex> lock(mutex);
              (stream == OutputStream::StandardError ? errors : output).append(text);
          }) {}
    ~AsioHostTest() override { gActiveAsioHost.store(nullptr); }

    std::string errorText() {
        outputFlush(2000);
        std::lock_guard<std::mutex> lock(mutex);
        return errors;
    }
    std::string outputText() {
        outputFlush(2000);
        std::lock_guard<std::mutex> lock(mutex);
        return output;
    }

    std::mutex mutex;
    std::string output, errors;
    OutputCapture capture;
    FakeAsioDriver driver;
    FakeComFactory factory{&driver};
    std::unique_ptr<AsioHost> host = std::make_unique<AsioHost>(&factory);
};

TEST(AsioClassIdTest, ParsesBracedIdentifiersOnly) {
    AsioClassId id;
    ASSERT_TRUE(parseAsioClassId(kClsid, id));
    EXPECT_EQ(id.data1, 0x01234567u);
    EXPECT_EQ(id.data2, 0x89ABu);
    EXPECT_EQ(id.data3, 0xCDEFu);
    const uint8_t tail[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
    EXPECT_EQ(std::memcmp(id.data4, tail, 8), 0);
    for (const char* bad : {"", "01234567-89AB-CDEF-0123-456789abcdef", "{01234567-89AB-CDEF-0123-456789abcdeg}",
                            "{01234567-89AB-CDEF-0123_456789abcdef}", "{01234567-89AB-CDEF-0123-456789abcdef} ",
                            "{0123456-789AB-CDEF-0123-456789abcdef}"})
        EXPECT_FALSE(parseAsioClassId(bad, id)) << bad;
}

TEST(AsioBufferSizeTest, RequestRoundedToTheGranularityOrThePreferredSize) {
    EXPECT_EQ(chooseAsioBufferSize(100, 64, 2048, 512, 32), 96);
    EXPECT_EQ(chooseAsioBufferSize(112, 64, 2048, 512, 32), 128) << "halves round away from zero";
    EXPECT_EQ(chooseAsioBufferSize(100, 64, 2048, 512, -1), 100);
    EXPECT_EQ(chooseAsioBufferSize(100, 64, 2048, 512, 0), 100);
    EXPECT_EQ(chooseAsioBufferSize(4096, 64, 2048, 512, 32), 512);
    EXPECT_EQ(chooseAsioBufferSize(10, 64, 2048, 512, 32), 512);
    EXPECT_EQ(chooseAsioBufferSize(70, 64, 2048, 512, 100), 100) << "rounding, then the minimum";
}

TEST(AsioBufferSizeTest, NeverAboveTheDriverMaximumNorTheBlockPlanes) {
    EXPECT_EQ(chooseAsioBufferSize(1960, 64, 1970, 512, 100), 1900) << "2000 would exceed the maximum";
    EXPECT_EQ(chooseAsioBufferSize(8000, 64, 8192, 512, 1), 4096);
    EXPECT_EQ(chooseAsioBufferSize(16000, 64, 8192, 8192, 32), 4096) << "a preferred size above the planes";
    EXPECT_EQ(chooseAsioBufferSize(100, 64, 2048, 4000, 32), 96);
    EXPECT_EQ(chooseAsioBufferSize(5000, 64, 2048, 4000, -1), 2048) << "preferred above the maximum";
    EXPECT_EQ(chooseAsioBufferSize(5000, 64, 2048, 16, -1), 64) << "preferred below the minimum";
    EXPECT_EQ(chooseAsioBufferSize(256, 8192, 16384, 8192, 1), 0) << "no size fits the planes";
    EXPECT_EQ(chooseAsioBufferSize(256, 0, 2048, 256, 1), 0);
    EXPECT_EQ(chooseAsioBufferSize(256, 512, 256, 256, 1), 0);
}

TEST(AsioMessageTest, AnswersOnlyTheSelectorsTheHostSupports) {
    for (int32_t s = -2; s < 20; ++s)
        EXPECT_EQ(asioMessageReply(s), s == 1 || s == 4 || s == 6 || s == 8 ? 1 : 0) << s;
    AsioHost host;
    EXPECT_EQ(host.callbacks().asioMessage(4, 0, nullptr, nullptr), 1);
    EXPECT_EQ(host.callbacks().asioMessage(7, 0, nullptr, nullptr), 0);
}

TEST_F(AsioHostTest, InitSettlesRateChannelsBufferAndTypeAndReportsThem) {
    driver.type = AsioSampleType::kInt24Lsb;
    ASSERT_TRUE(host->init(kClsid, 4, 48000.0, 100)) << host->lastError();
    EXPECT_TRUE(host->isInitialised());
    EXPECT_EQ(host->sampleRate(), 48000.0);
    EXPECT_EQ(driver.setRates, std::vector<double>{48000.0});
    EXPECT_EQ(host->channels(), 4);
    EXPECT_EQ(host->bufferFrames(), 96);
    EXPECT_EQ(host->sampleType(), 17);
    EXPECT_EQ(host->latencyMs(), 10.0);
    EXPECT_EQ(driver.createdCount, 8) << "one buffer record per driver output";
    EXPECT_EQ(driver.createdFrames, 96);
    EXPECT_EQ(driver.callbacks, &host->callbacks());
    EXPECT_EQ(gActiveAsioHost.load(), host.get());
    EXPECT_EQ(driver.initHandles, std::vector<void*>{nullptr});
    EXPECT_EQ(factory.lastId.data1, 0x01234567u);
    EXPECT_EQ(outputText(),
              "  [AsioHost] Driver loaded: Fake Box  v7\n"
              "  [AsioHost] Driver current sample rate: 44100 Hz\n"
              "  [AsioHost] Channels: in=2 out=8\n"
              "  [AsioHost] Buffer size: min=64 max=2048 pref=512\n"
              "  [AsioHost] Sample type: 17\n"
              "  [AsioHost] Init OK\n"
              "    Driver     : Fake Box\n"
              "    Channels   : 4 (of 8)\n"
              "    SampleRate : 48000 Hz\n"
              "    Buffer     : 96 samples\n"
              "    Latency    : 10 ms\n\n");
    EXPECT_EQ(errorText(), "");
}

TEST_F(AsioHostTest, ChannelCountFollowsTheDriverAndStaysBetweenOneAndEight) {
    driver.outputs = 2;
    ASSERT_TRUE(host->init(kClsid, 8, 48000.0, 256));
    EXPECT_EQ(host->channels(), 2);
    ASSERT_TRUE(host->init(kClsid, 0, 48000.0, 256));
    EXPECT_EQ(host->channels(), 1);
    driver.outputs = 32;
    ASSERT_TRUE(host->init(kClsid, 12, 48000.0, 256));
    EXPECT_EQ(host->channels(), 8);
    EXPECT_EQ(driver.createdCount, 32);
}

TEST_F(AsioHostTest, ADriverThatRefusesTheRequestedRateKeepsItsOwn) {
    driver.supportedRates = {44100.0};
    ASSERT_TRUE(host->init(kClsid, 4, 96000.0, 256));
    EXPECT_EQ(host->sampleRate(), 44100.0);
    EXPECT_TRUE(driver.setRates.empty()) << "no setSampleRate for the rate it already runs";

    driver.supportedRates = {44100.0, 48000.0};
    driver.setRateResult = -995;
    ASSERT_TRUE(host->init(kClsid, 4, 48000.0, 256));
    EXPECT_EQ(host->sampleRate(), 44100.0);
    EXPECT_NE(outputText().find("  [AsioHost] Could not set sample rate, using driver rate: 44100 Hz\n"),
              std::string::npos);

    // Nothing to fall back on: a rate of 0 would make the latency and the
    // synthesis divide by zero.
    driver.currentRate = 0.0;
    EXPECT_FALSE(host->init(kClsid, 4, 48000.0, 256));
    EXPECT_EQ(host->lastError(),
              "Could not set the sample rate to 48000 Hz and the driver reports no rate of its own");
    driver.currentRate = 44100.0;

    driver.supportedRates = {};
    EXPECT_FALSE(host->init(kClsid, 4, 48000.0, 256));
    EXPECT_EQ(host->lastError(),
              "Driver does not support 48kHz or 44.1kHz. Check the Xonar Audio Center sample rate setting.");
}

TEST_F(AsioHostTest, LifecycleStartStopCloseAndRepeatedInit) {
    ASSERT_TRUE(host->init(kClsid, 4, 48000.0, 256));
    EXPECT_EQ(factory.comInits, 1);
    ASSERT_TRUE(host->start());
    EXPECT_TRUE(host->isRunning());
    EXPECT_NE(outputText().find("  [AsioHost] Stream started\n"), std::string::npos);
    host->stop();
    EXPECT_FALSE(host->isRunning());
    EXPECT_EQ(driver.stops, 1);

    // init again: closes first (buffers disposed, driver released, COM ended).
    ASSERT_TRUE(host->init(kClsid, 4, 48000.0, 256));
    EXPECT_EQ(driver.disposals, 1);
    EXPECT_EQ(driver.releases, 1);
    EXPECT_EQ(factory.comInits, 2);
    EXPECT_EQ(factory.comUninits, 1);

    host.reset();  // the destructor closes
    EXPECT_EQ(driver.disposals, 2);
    EXPECT_EQ(driver.releases, 2);
    EXPECT_EQ(factory.comUninits, 2);
    EXPECT_EQ(gActiveAsioHost.load(), nullptr);
}

TEST_F(AsioHostTest, EveryFailureIsReportedWithItsText) {
    struct Case {
        std::function<void()> arrange;
        std::string clsid;
        std::string error;
    };
    const std::vector<Case> cases = {
        {[&] { factory.comResult = static_cast<AsioResult>(0x80004005u); }, kClsid, "CoInitializeEx failed: -2147467259"},
        {[] {}, "not-a-clsid", "Invalid CLSID: not-a-clsid"},
        {[&] { factory.createResult = kClassNotRegistered; }, kClsid,
         "CoCreateInstance failed (hr=0x80040154). Driver may not be installed."},
        {[&] { driver.initResults = {0, 0}; }, kClsid, "ASIO driver init failed: " + std::string(255, 'x')},
        {[&] { driver.outputs = 0; }, kClsid, "Driver reports no output channels"},
        {[&] { driver.minFrames = 8192, driver.maxFrames = 16384; }, kClsid,
         "Driver buffer sizes (min=8192 max=16384) do not fit the 4096-frame blocks of the synthesis"},
        {[&] { driver.type = 24; }, kClsid,
         "Unsupported ASIO sample type 24. Choose another sample format in the driver's control panel."},
        {[&] { driver.createResult = -997; }, kClsid,
         "createBuffers failed (err=-997). Try a different buffer size or restart the app."},
    };
    for (const Case& c : cases) {
        FakeAsioDriver fresh;
        driver.initResults.clear();
        driver.outputs = fresh.outputs;
        driver.minFrames = fresh.minFrames;
        driver.maxFrames = fresh.maxFrames;
        driver.type = fresh.type;
        driver.createResult = fresh.createResult;
        factory.comResult = 0;
        factory.createResult = 0;
        c.arrange();
        EXPECT_FALSE(host->init(c.clsid, 4, 48000.0, 256));
        EXPECT_EQ(host->lastError(), c.error);
        EXPECT_FALSE(host->isInitialised());
        EXPECT_EQ(gActiveAsioHost.load(), nullptr) << c.error;
        EXPECT_NE(errorText().find("  [AsioHost] ERROR: " + c.error + "\n"), std::string::npos) << c.error;
        host->close();
        EXPECT_EQ(factory.comInits - factory.comUninits, 0) << "COM is ended for every successful set-up";
    }
    EXPECT_FALSE(host->start());
    EXPECT_EQ(host->lastError(), "Cannot start -- not initialised");
}

TEST_F(AsioHostTest, DriverInitIsRetriedWithTheWindowThenTheForegroundWindow) {
    int window = 0;
    driver.initResults = {0, 1};
    ASSERT_TRUE(host->init(kClsid, 4, 48000.0, 256, &window));
    EXPECT_EQ(driver.initHandles, (std::vector<void*>{nullptr, &window}));
    driver.initHandles.clear();
    driver.initResults = {0, 1};
    ASSERT_TRUE(host->init(kClsid, 4, 48000.0, 256));
    EXPECT_EQ(driver.initHandles, (std::vector<void*>{nullptr, &factory.foreground}));
}

TEST_F(AsioHostTest, COMInAnotherModeIsUsedWithoutEndingIt) {
    factory.comResult = kRpcChangedMode;
    ASSERT_TRUE(host->init(kClsid, 4, 48000.0, 256));
    host->close();
    EXPECT_EQ(factory.comUninits, 0);
}

TEST_F(AsioHostTest, AFailedStartIsReported) {
    driver.startResult = -1000;
    ASSERT_TRUE(host->init(kClsid, 4, 48000.0, 256));
    EXPECT_FALSE(host->start());
    EXPECT_FALSE(host->isRunning());
    EXPECT_EQ(host->lastError(), "ASIO start failed (err=-1000)");
}

TEST(AsioHostOnLinuxTest, TheSystemFactoryFindsNoDriver) {
    AsioHost host;
    EXPECT_FALSE(host.init(kClsid, 4, 48000.0, 256));
    EXPECT_EQ(host.lastError(), "CoCreateInstance failed (hr=0x80040154). Driver may not be installed.");
}

TEST_F(AsioHostTest, BufferSwitchesConvertTheFedChannelsAndSilenceTheOthers) {
    for (int32_t type : {AsioSampleType::kInt16Msb, AsioSampleType::kInt24Lsb, AsioSampleType::kInt24Msb,
                         AsioSampleType::kInt32Lsb, AsioSampleType::kFloat32Lsb, AsioSampleType::kFloat64Msb}) {
        driver.type = type;
        driver.outputs = 4;
        driver.outputReadies = 0;
        ASSERT_TRUE(host->init(kClsid, 2, 48000.0, 64));
        int fills = 0;
        host->setFill([&](AudioBuffer& buffer) {
            ++fills;
            EXPECT_EQ(buffer.numChannels, 2);
            EXPECT_EQ(buffer.numFrames, 64);
            EXPECT_EQ(buffer.samples[0][5], 0.0f) << "planes are cleared before each fill";
            for (int c = 0; c < kMaxStreamChannels; ++c)
                for (int i = 0; i < 64; ++i)
                    buffer.samples[c][i] = 0.25f * static_cast<float>(c + 1);
        });
        ASSERT_TRUE(host->start());
        const uint64_t allocationsBefore = realtimeAllocations();
        driver.callbacks->bufferSwitch(1, 1);  // as the driver calls it
        EXPECT_EQ(host->callbacks().bufferSwitchTimeInfo(nullptr, 0, 1), nullptr);
        EXPECT_EQ(realtimeAllocations(), allocationsBefore);
        EXPECT_EQ(fills, 2);
        EXPECT_EQ(driver.outputReadies, 2);

        const int width = asioSampleWidth(type);
        for (int half = 0; half < 2; ++half) {
            for (int c = 0; c < 4; ++c) {
                std::vector<uint8_t> expected(static_cast<size_t>(64 * width), 0);
                if (c < 2) {
                    std::vector<float> plane(64, 0.25f * static_cast<float>(c + 1));
                    convertFloatToAsio(plane.data(), expected.data(), 64, type);
                }
                EXPECT_EQ(driver.buffer(c, half), expected) << "type " << type << " channel " << c;
            }
        }
        host->stop();
        host->setFill(nullptr);
    }
}

TEST_F(AsioHostTest, WithoutAFillCallableTheDriverGetsSilence) {
    driver.outputs = 2;
    ASSERT_TRUE(host->init(kClsid, 2, 48000.0, 64));
    host->onBufferSwitch(0);
    host->onBufferSwitch(7);  // not a half: ignored
    EXPECT_EQ(driver.buffer(0, 0), std::vector<uint8_t>(256, 0));
    EXPECT_EQ(driver.buffer(1, 0), std::vector<uint8_t>(256, 0));
    EXPECT_EQ(driver.buffer(0, 1), std::vector<uint8_t>(256, 0xAA));
    EXPECT_EQ(driver.outputReadies, 1);
}

TEST_F(AsioHostTest, BufferSwitchesOnTheDriversOwnThreadReachTheHost) {
    driver.driverThread = true;
    ASSERT_TRUE(host->init(kClsid, 4, 48000.0, 256));
    std::atomic<int> fills{0};
    host->setFill([&](AudioBuffer& buffer) {
        buffer.samples[0][0] = 0.5f;
        fills.fetch_add(1);
    });
    ASSERT_TRUE(host->start());
    while (driver.switches.load() < 50)
        std::this_thread::yield();
    host->close();  // stop joins the driver thread before anything is freed
    EXPECT_GE(fills.load(), 50);
    EXPECT_EQ(gActiveAsioHost.load(), nullptr);
}

}  // namespace
}  // namespace qv::test
