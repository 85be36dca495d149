#pragma once
// The one upward call of the low layers: a download notification lets the window breathe by
// dispatching what waits in the thread's queue. The application (src/app) implements it; it
// never runs the idle step.

void ProcessMessages();
