#pragma once
// Set once the program has been told to end (a termination signal). From then on dialogs end at
// once as cancelled instead of waiting for an answer nobody will give, and a progress dialog asks
// the work behind it to stop, so the end is not held up by a transfer or a question. Any thread.

void SetProgramEnding(bool ending = true);
bool ProgramEnding();
