#pragma once
// The ASIO driver interface as the ASIO host uses it, in types of our own.
//
// ASIO drivers are in-process COM objects that exist only on Windows; a
// driver is created from its class identifier text ("{8-4-4-4-12}" hex) by
// IAsioDriverFactory. On Linux the system factory finds no driver, so the
// host's init fails with the "CoCreateInstance failed" text; tests give the
// host a factory that makes fake drivers.
//
// Contract of a driver (what the host relies on and what it checks):
// - Operations returning AsioError return kAsioOk (0) on success.
// - getDriverName and getErrorMessage write a text into a 256-byte buffer
//   that the host has zeroed; the host terminates it itself.
// - Everything a driver reports (channel counts, buffer sizes, rates,
//   sample types) is checked by the host before use.
// - After createBuffers the driver calls the callbacks on a thread of its
//   own, only between start and stop; the host calls disposeBuffers after
//   stop and release last.

#include <cstdint>
#include <memory>
#include <string>

namespace qv {

using AsioBool = int32_t;
using AsioError = int32_t;
// A COM result code: negative values are failures.
using AsioResult = int32_t;

inline constexpr AsioError kAsioOk = 0;
inline constexpr AsioResult kRpcChangedMode = static_cast<AsioResult>(0x80010106u);  // COM already set up differently
inline constexpr AsioResult kClassNotRegistered = static_cast<AsioResult>(0x80040154u);

// Sample type codes of the driver's buffers.
namespace AsioSampleType {
inline constexpr int32_t kInt16Msb = 0;
inline constexpr int32_t kInt24Msb = 1;
inline constexpr int32_t kInt32Msb = 2;
inline constexpr int32_t kFloat32Msb = 3;
inline constexpr int32_t kFloat64Msb = 4;
inline constexpr int32_t kInt16Lsb = 16;
inline constexpr int32_t kInt24Lsb = 17;
inline constexpr int32_t kInt32Lsb = 18;
inline constexpr int32_t kFloat32Lsb = 19;
inline constexpr int32_t kFloat64Lsb = 20;
}  // namespace AsioSampleType

struct AsioChannelInfo {
    int32_t channel = 0;  // filled in by the caller
    AsioBool isInput = 0;  // filled in by the caller
    AsioBool isActive = 0;
    int32_t channelGroup = 0;
    int32_t type = -1;  // AsioSampleType code
    char name[32] = {};
};

struct AsioBufferInfo {
    AsioBool isInput = 0;
    int32_t channelNum = 0;
    void* buffers[2] = {nullptr, nullptr};  // the two halves, set by createBuffers
};

// Timing record of bufferSwitchTimeInfo; the host only passes it back.
struct AsioTime;

struct AsioCallbacks {
    void (*bufferSwitch)(int32_t index, AsioBool directProcess);
    void (*sampleRateDidChange)(double rate);
    int32_t (*asioMessage)(int32_t selector, int32_t value, void* message, double* opt);
    AsioTime* (*bufferSwitchTimeInfo)(AsioTime* params, int32_t index, AsioBool directProcess);
};

class IAsioDriver {
public:
    // systemHandle: a window handle or null. Non-zero on success.
    virtual AsioBool init(void* systemHandle) = 0;
    virtual void getDriverName(char* name) = 0;
    virtual int32_t getDriverVersion() = 0;
    virtual void getErrorMessage(char* text) = 0;
    virtual AsioError start() = 0;
    virtual AsioError stop() = 0;
    virtual AsioError getChannels(int32_t* inputs, int32_t* outputs) = 0;
    virtual AsioError getLatencies(int32_t* input, int32_t* output) = 0;
    virtual AsioError getBufferSize(int32_t* min, int32_t* max, int32_t* preferred, int32_t* granularity) = 0;
    virtual AsioError canSampleRate(double rate) = 0;
    virtual AsioError getSampleRate(double* rate) = 0;
    virtual AsioError setSampleRate(double rate) = 0;
    virtual AsioError getChannelInfo(AsioChannelInfo* info) = 0;
    virtual AsioError createBuffers(AsioBufferInfo* infos, int32_t channelCount, int32_t bufferSize,
                                    const AsioCallbacks* callbacks) = 0;
    virtual AsioError disposeBuffers() = 0;
    virtual AsioError outputReady() = 0;
    // Drops the host's reference (the driver frees itself); the last call.
    virtual void release() = 0;

protected:
    ~IAsioDriver() = default;  // drivers end through release()
};

struct AsioDriverRelease {
    void operator()(IAsioDriver* driver) const { driver->release(); }
};
using AsioDriverPtr = std::unique_ptr<IAsioDriver, AsioDriverRelease>;

// A COM class identifier.
struct AsioClassId {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    uint8_t data4[8] = {};
};

// Parses "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (hex digits of either
// case, braces required, nothing around them); false for anything else.
bool parseAsioClassId(const std::string& text, AsioClassId& id);

// COM set-up and driver creation. Called on the thread that runs the host's
// init and close.
class IAsioDriverFactory {
public:
    virtual ~IAsioDriverFactory() = default;
    // CoInitializeEx (apartment-threaded): 0 or 1 on success, kRpcChangedMode
    // when the thread uses another COM model, another negative code on failure.
    virtual AsioResult initialiseCom() = 0;
    // CoUninitialize; called once for every successful initialiseCom.
    virtual void uninitialiseCom() = 0;
    // CoCreateInstance of the driver class; a negative code leaves driver empty.
    virtual AsioResult createDriver(const AsioClassId& id, AsioDriverPtr& driver) = 0;
    // The window in front, handed to a driver whose init wants one; may be null.
    virtual void* foregroundWindow() = 0;
};

// This system's factory. On Linux there is no COM: initialisation succeeds
// and does nothing, and no driver class is registered (kClassNotRegistered).
IAsioDriverFactory& systemAsioDriverFactory();

}  // namespace qv
