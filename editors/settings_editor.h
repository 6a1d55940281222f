#pragma once
// The editing model of the "SpecEdit" dialog.

namespace velora {}  // namespace velora
