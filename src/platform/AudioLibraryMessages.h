#pragma once
// The Linux audio libraries under PortAudio (ALSA and JACK) print their own
// diagnostics on standard error while PortAudio probes them: pages of "ALSA
// lib ..." and "Cannot connect to server socket" lines on a machine without
// sound cards or without a running JACK server. Those are expected outcomes
// of probing, not faults, and the console shows only the program's lines.

namespace qv {

// Routes the ALSA and JACK libraries' error and information messages into
// handlers that drop them. Safe to call any number of times from any thread;
// call it before PortAudio is initialised.
void quietAudioLibraryMessages();

}  // namespace qv
