// Qt's ODBC driver writes a warning ("QODBCResult::exec: Unable to execute statement: ...") for
// every statement that fails, before the program has seen the failure. The program turns each
// failure into a DbError and says itself what its user must know, in the window or on stderr,
// so the driver's own warnings never reach the terminal: they would only repeat a failure in
// other words, or speak of one the program handles (a stop, a refused value, a retried
// deadlock). Every other message goes on to the handler that was in place.
#pragma once

namespace DriverWarnings {

// Puts the handler that leaves the driver's warnings out in front of the one in place now.
void Install();

} // namespace DriverWarnings
