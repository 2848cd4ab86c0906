// The hourglass cursor over the whole program while it works.
//
// Setting it twice and resetting it once leaves the normal cursor: the hourglass is
// one state, not a stack, so a command that sets it inside another command that set
// it too cannot leave it behind. Only the hourglass set here is removed; another
// override cursor (a drag, say) stays. GUI thread only.
#pragma once

namespace platform {

void showHourglass();
void restoreCursor();
bool hourglassShown();

}  // namespace platform
