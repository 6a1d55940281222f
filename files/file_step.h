#pragma once
// The data-file step of the transfer engine: one open or save dialog and one
// file read or written, run once per engine tick in state FileStep.

namespace velora {

class TransferEngine;

// Runs one file step for the engine's current action and region. Leaves the
// engine Idle, or in FileStep again for the next file of an "&All" chain.
void runFileStep(TransferEngine& engine);

}  // namespace velora
