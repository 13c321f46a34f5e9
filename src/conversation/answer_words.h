// The words the library itself puts into an answer when the server gave none.
#ifndef QVN_CONVERSATION_ANSWER_WORDS_H_
#define QVN_CONVERSATION_ANSWER_WORDS_H_

namespace qvn {

// A command or message did not reach the server, or failed.
inline constexpr char16_t kConnectionError[] = u"CONNECTION_ERROR";
// A script request obtained nothing.
inline constexpr char16_t kNoneAnswer[] = u"NONE";

}  // namespace qvn

#endif  // QVN_CONVERSATION_ANSWER_WORDS_H_
