#pragma once

// The route "/set": checks every writable parameter's submitted value by its
// type; applies them all when every one passes, else lists the rejected
// values and shows the form again with the values in force. Returns 0 after
// a response, -1 when the request can't be parsed and 1 when param.xml can't
// be opened (nothing is written in those two cases).
int HandleSet();
