// guiCompilerInterface: the compile-and-load sequence. Every compile the user starts goes
// through here: to the target (`CompileWithBiosCheck`), to an image file (`CompileFile`), or
// the reset of the target with a fresh BIOS (`ResetAndLoadBios`). It decides whether the BIOS
// on the target must be loaded again, brings the target up through the cold loader, the pilot
// BIOS and the baud-rate negotiation, compiles and loads the BIOS and then the program through
// the compile entry (`compile_file`), and after the download starts the BIOS and reopens the
// link at the debug rate (`ReconnectAtDebugBaud`, which the download calls).
// It holds the current communication settings record, the three loader baud rates, the debug
// tag that tells whether the BIOS on the target is still ours, and the TCP pass-phrase
// callback. The shared flags (`gTCState`, `gDebugRstState`, the BIOS-compile flags) are
// SEAM_TARGET's; this unit writes them.
// No widgets: the status box, message boxes and the pass-phrase dialog are reached through
// the host services of guiInterface. GUI thread only.
#pragma once

#include "debugger/TCOptions.h"

#include <array>
#include <cstdint>
#include <string>

// ---- state -----------------------------------------------------------------------------------

// Set while compiling to an image file; with it, whether a target is attached for that compile.
extern uint8_t gCompileToFile;
extern uint8_t gUseAttachedTarget;
// Initially 1: while set, a program compile over an up-to-date BIOS loads the pilot BIOS first
// and the program goes at the negotiated rate. A BIOS compile for a flash written without
// erasing (write mode 2) clears it.
extern uint8_t gPilotLoad;
// Whether the BIOS goes into the image: 1 but during a compile to a file, which takes the
// project's "Include BIOS".
extern uint8_t gIncludeBiosInImage;
// Drawn (0-32767) at every BIOS load, written into the target on a serial link and read back to
// tell a target that was reset or loaded by somebody else.
extern uint16_t gDebugTag;
// The modification time (seconds) of the BIOS source when the BIOS was last compiled.
extern uint32_t gBiosTimeStamp;
extern std::array<uint8_t, 16> gPassPhraseDigest;

// ---- entry points ----------------------------------------------------------------------------
// The status word: negative, the user cancelled; bit 1 (2), the compile or the load failed;
// bit 0 (1), bring the main window to the front. Failures of the target link before the
// compile propagate as the link's exceptions.

// Compile to the target. A missing BIOS source throws xFileOpen "Cannot open file '%s'."
// before anything is connected.
int CompileWithBiosCheck(const std::string &file);
// Compile to an image file; without an attached target no port is touched, and the BIOS is
// still compiled.
int CompileFile(const std::string &file, bool use_attached_target);
// Connects for a load, loads the cold loader, the pilot BIOS and the BIOS.
int ResetAndLoadBios();
// After the download: starts the BIOS, waits, and opens the link at the debug rate; then the
// exit hook of the program is resolved (only that when compiling to a file).
void ReconnectAtDebugBaud();
void ClearCompileFlags();
bool IsAttachedTargetCompile();

void SetCommSettings(const TCOptionsType &settings);
void GetCommSettings(TCOptionsType &settings);
// Cold loader, pilot BIOS and BIOS, debug kernel (project defaults 2400, 57600, 115200).
void SetLoaderBaudRates(uint32_t cold_loader, uint32_t bios, uint32_t debug);
void GetLoaderBaudRates(uint32_t &cold_loader, uint32_t &bios, uint32_t &debug);

// ---- the steps (the entry points' parts, each tested on its own) -----------------------------

// True at the first of: a new time stamp of the BIOS source, a compile mode other than 0, a
// saved libraries list or BIOS library, compile settings other than the snapshot's, and on a
// serial link a debug tag on the target other than ours.
[[nodiscard]] bool BiosNeedsRecompiling();
// Cold loader, pilot BIOS, BIOS compile and load; 2 when the cold loader failed.
int LoadBios();
// The pilot BIOS at the BIOS rate, then the fastest rate both sides accept; never a rate the
// target did not agree to.
void LoadPilotBiosAndNegotiateBaud();
// Compiles the BIOS (while `gBiosCompileFlag` is set) or the program and loads it.
int CompileAndLoad(const std::string &file);
// The status box's caption and text for the kind of compile and the output mode.
void ShowCompileStatusCaption();
// The digest of the pass phrase the user gives (or, cancelled, of the built-in one) for the TCP
// challenge.
std::array<uint8_t, 16> PassPhraseDigestCallback();

// The rate the program's link runs at: the debug rate, but 57600 for a board whose clock
// divider is below 12.
uint32_t ProgramLinkBaud();
