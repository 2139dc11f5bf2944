// qv-audiohost: the audio host that quorvane starts (see AudioHostProtocol.h).
// Arguments: the shared block's address (hexadecimal) and size, optionally
// the note for the device table's heading (which JACK this host reaches);
// descriptors 3 (the channel) and 4 (the block) come from the program.

#include "audio/AudioHostServer.h"
#include "audio/DeviceEnumeration.h"
#include "platform/Output.h"
#include "platform/SharedBlock.h"

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <new>

int main(int argc, char** argv) {
    using namespace qv;
    // A closed output pipe is an error value, not the end of the host.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc != 3 && argc != 4) {
        errPrint("qv-audiohost is started by quorvane, not by hand\n");
        outputFlush(500);
        return 2;
    }
    char* end = nullptr;
    const uintptr_t address = std::strtoull(argv[1], &end, 16);
    const size_t size = std::strtoull(argv[2], &end, 10);
    SharedBlock block;
    if (address == 0 || size < sizeof(AudioHostBlock) ||
        !block.mapAt(kAudioHostBlockFd, size, reinterpret_cast<void*>(address))) {
        errPrint("  [AudioHost] ERROR: cannot map the shared block: %s\n", block.lastError().c_str());
        outputFlush(500);
        return 2;
    }
    auto* shared = static_cast<AudioHostBlock*>(block.data());
    if (shared->magic != kAudioHostMagic) {
        errPrint("  [AudioHost] ERROR: the shared block is not the program's\n");
        outputFlush(500);
        return 2;
    }
    if (argc == 4)
        setDeviceTableNote(argv[3]);
    MessageChannel channel(kAudioHostChannelFd);
    return runAudioHost(*shared, channel);
}
