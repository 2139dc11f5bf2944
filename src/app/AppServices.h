#pragma once
// The services the run loop drives, as seams: each is filled by the part of
// the program that owns it (settings files, audio, logger, online services,
// user interface). The base classes do nothing, which is what the runtime
// uses for a service this build does not wire.

#include "engines/HapticFrame.h"
#include "settings/HapticSettings.h"

#include <functional>
#include <string>

namespace qv {

class ISimHapticEngine;

// Loading and saving the settings block (INI file and profiles).
class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;
    virtual bool load(HapticSettings& settings) = 0;
    // Saves every part of the block; may run on the saver thread.
    virtual bool saveAll(const HapticSettings& settings) = 0;
    virtual std::string lastError() const { return {}; }
};

// The audio side of the run loop: initialisation, the synthesis input and the
// stream supervision. Called on the main thread.
class IAudioRuntime {
public:
    virtual ~IAudioRuntime() = default;
    // Begins the audio start-up; returns without waiting for the audio system.
    virtual void start() {}
    // True until the first device list and initAudio of start() are done.
    virtual bool isStarting() const { return false; }
    // True from start() until its first answer: the device list is printed
    // and shared, or the audio system gave none.
    virtual bool isListingDevices() const { return false; }
    virtual int audioOk() const { return 0; }
    virtual int audioChannels() const { return 0; }
    // The frame of a new sample and whether the car was on track.
    virtual void publishFrame(const HapticFrame& frame, bool onTrack) { (void)frame; (void)onTrack; }
    virtual void invalidateFrame() {}
    virtual void triggerGearPulse(int durationMs) { (void)durationMs; }
    // Copies the effect preview's meter levels; false when no preview plays.
    virtual bool previewLevels(float levels[kEffectCount]) { (void)levels; return false; }
    // The periodic stream-stale check (every 2 s while connected).
    virtual void checkStreams() {}
    virtual void serviceLatencyRequest() {}
    // Looks again for a saved audio device that was not found, when a look
    // is due; never waits (every pass of every loop).
    virtual void serviceDeviceSearch() {}
    // Shutdown: no new audio workers from now on.
    virtual void stopAcceptingWork() {}
    // Waits up to timeoutMs for a running audio worker; false on time-out.
    virtual bool waitIdle(int timeoutMs) { (void)timeoutMs; return true; }
    virtual void closeAll() {}
};

// The suspension logger behind the L key.
class ISuspensionLogger {
public:
    virtual ~ISuspensionLogger() = default;
    virtual bool isRecording() const { return false; }
    // Starts recording; false (with a console line of its own) when the file
    // cannot be opened.
    virtual bool start(ISimHapticEngine& engine, const std::string& folder) { (void)engine; (void)folder; return false; }
    virtual void stop() {}
    // Writes the row of the sample just consumed; true when the row limit
    // was reached and the logger stopped.
    virtual bool writeRow(ISimHapticEngine& engine) { (void)engine; return false; }
    virtual int secondsLeft() const { return 0; }
    virtual int rows() const { return 0; }
};

// Update check and usage report.
class IOnlineServices {
public:
    virtual ~IOnlineServices() = default;
    virtual void startUpdateCheck() {}
    virtual void sendUsagePing(const char* simName, const char* event) { (void)simName; (void)event; }
};

// The window and tray on their own thread.
class IGuiHost {
public:
    virtual ~IGuiHost() = default;
    virtual void start() {}
    virtual void stop() {}
    virtual void requestDeviceSetup() {}
    virtual void bringToFront() {}
    virtual void setSelectSimFn(std::function<void(int)> fn) { (void)fn; }
};

}  // namespace qv
