#pragma once
// The interface every simulator telemetry engine implements. The run loop owns
// exactly one engine at a time and calls every operation from the main thread
// only, in this order: connect until it succeeds, then per tick isConnected and
// update (and, after a new sample, isOnTrack, writeCsvRow and gear), with the
// dashboard drawn every 60 ticks; disconnect and destruction end the engine.
//
// Engines start no threads, keep no globals and take no locks of their own.
// Everything they read from a simulator is untrusted: bounds-checked and made
// finite before use.

#include "engines/HapticFrame.h"
#include "platform/Console.h"
#include "settings/HapticSettings.h"

#include <string>

namespace qv {

class ISimHapticEngine {
public:
    ISimHapticEngine() = default;
    // Each engine's destructor calls its own disconnect first.
    virtual ~ISimHapticEngine() = default;
    ISimHapticEngine(const ISimHapticEngine&) = delete;
    ISimHapticEngine& operator=(const ISimHapticEngine&) = delete;

    // Disconnects first, then maps the simulator's telemetry and prints a
    // connection report. False leaves nothing open.
    virtual bool connect() = 0;
    virtual bool isConnected() const = 0;
    // Safe when not connected and more than once.
    virtual void disconnect() = 0;
    // True when a new sample arrived since the last call: `out` is then filled
    // completely. False leaves `out` as the caller gave it.
    virtual bool update(const EffectProfile& fx, HapticFrame& out) = 0;
    // Short static name: "iRacing", "ACC", "LMU", "AC EVO", "AC".
    virtual const char* displayName() const = 0;

    virtual int gear() const { return 0; }
    virtual float speedMps() const { return 0.0f; }
    virtual bool isOnTrack() const { return false; }
    virtual bool is360Hz() const { return false; }

    // Clears the console and draws the static part of the dashboard.
    virtual void drawDashboardHeader(IConsole& console, bool audioActive, int channels, const EffectProfile& fx) = 0;
    // Redraws the live values.
    virtual void drawDashboard(IConsole& console, const HapticFrame& shown, const EffectProfile& fx, int updatesPerSecond,
                               float secondsSinceShift) = 0;

    // Appends the logger header line (first column "timestamp_ms", ending in
    // a line feed); false when the engine has no logger columns.
    virtual bool writeCsvHeader(std::string& out) { (void)out; return false; }
    // Appends one whole row for the last sample (first field a placeholder
    // the logger replaces), always ending in a line feed; false when there is
    // nothing to log.
    virtual bool writeCsvRow(std::string& out) { (void)out; return false; }
};

}  // namespace qv
