// The hand-over from an older launcher: a new executable started with --upgrade takes the
// installed launcher's place before any window exists.
#pragma once

// True: go on with a normal start in this process. False: the hand-over started another process
// and this one must end at once with exit code 0.
bool HandleUpgradeMode();
