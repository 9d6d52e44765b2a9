// Type codes of registered signals: the row index of the type text in the type table.
#pragma once

namespace svg {

enum TypeCodeValue : int {
    kTypeUnknown = -1,
    kTypeB = 0,
    kTypeC = 1,
    kTypeI = 2,
    kTypeL = 3,
    kTypeF = 4,
    kTypeP = 5,
    kTypeSoe = 6,
    kTypeCu = 7,
    kTypeIu = 8,
    kTypeLu = 9,
    kTypeNo = 20,
};

}  // namespace svg
