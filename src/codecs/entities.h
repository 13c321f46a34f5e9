// Entity escaping that makes any text safe to store as one field.
#ifndef QVN_CODECS_ENTITIES_H_
#define QVN_CODECS_ENTITIES_H_

#include "base/text.h"

namespace qvn {

Text DataEncode(TextView text);   // ; & , TAB CR LF { } -> entities
Text DataDecode(TextView text);   // the reverse, entities in any letter case

}  // namespace qvn

#endif  // QVN_CODECS_ENTITIES_H_
