#pragma once

// A form that did not arrive whole (the client or the network gave up
// before CONTENT_LENGTH bytes, or a multipart body without its close
// delimiter) says something its sender did not: part of an address is
// another address. When the parsed request is such a form, answers "400 Bad
// Request" with a note that nothing was changed, logs the bytes received
// and declared, and returns true: the caller then applies nothing. A form
// whose CONTENT_LENGTH is not digits only is refused the same way, the log
// naming the text; one without CONTENT_LENGTH gets "411 Length Required".
bool RefuseIncompleteSet();
