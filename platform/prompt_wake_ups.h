#pragma once
// Asks the system to wake this program on time: a program that keeps pace
// with a serial line sleeps until a byte or a deadline is due, and every
// wake-up that comes late stretches the exchange by as much.

namespace velora {

// On Linux: no timer slack (a timed wake-up may otherwise come up to 50 us
// late, so that the system can wake several sleepers at once) and a short
// time slice (the shortest the system takes), so that a wake-up runs before
// the programs busy computing instead of after their slices. As far as an
// unprivileged program may; a system that does not know a request keeps its
// default. On Windows: the system's timer to the millisecond. Elsewhere it
// does nothing.
void askForPromptWakeUps();

}  // namespace velora
