#pragma once
// The audio host's side (qv-audiohost): owns PortAudio, the engine and the
// stream callbacks, which render from the synthesis in the shared block;
// runs initAudio, the latency test and closing on the program's requests;
// publishes each stream's health into the block every 10 ms.
//
// Threads: everything on the host's main thread, beside PortAudio's audio
// threads and one thread that ends the host when the program is gone (even
// while a PortAudio call hangs).

#include "audio/AudioHostProtocol.h"
#include "platform/MessageChannel.h"

namespace qv {

// Runs until the program asks the host to quit or goes away; the exit code.
int runAudioHost(AudioHostBlock& block, MessageChannel& channel);

}  // namespace qv
