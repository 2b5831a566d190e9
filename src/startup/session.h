#pragma once
// The client for the length of a desktop session: started by the desktop's autostart entry,
// it runs the client and starts it again when it ends abnormally (a configuration reload that
// failed, a crash), after a pause that grows while it keeps ending.
//
// Ends with 0 when the client ended in order (another instance runs for the user), and with
// the client's status when the display is gone (the session is over).
int RunSession();
