#pragma once
// The editing model of the "Edycja" dialog.

namespace velora {}  // namespace velora
