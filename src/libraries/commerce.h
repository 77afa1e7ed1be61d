// ZtCOMMERCE: a block whose body runs once per result of a commerce
// library's loop entry.
//
// The opening instruction pops the field names (a comma-separated list of
// variable names), the action and the method, in that order (the method is
// pushed first). Its operand jumps over the whole block when the block does
// not start; op_commerce_loop jumps back to the body while the library's
// loop returns 0; op_commerce_stop leaves the block.
#ifndef ORIN_LIBRARIES_COMMERCE_H_
#define ORIN_LIBRARIES_COMMERCE_H_

namespace orin {

// Registers the commerce instructions and the database library hook with
// the machine. Safe to call more than once.
void InstallLibraryLayer();

}  // namespace orin

#endif  // ORIN_LIBRARIES_COMMERCE_H_
