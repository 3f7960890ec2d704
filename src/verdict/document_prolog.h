// What the start of a document says about why an XML parser refused it,
// read from its bytes: an XML parser that refused it gives only a message,
// and the verdict decides on the document, not on a message's wording.
#ifndef XSLVALIDATE_VERDICT_DOCUMENT_PROLOG_H_
#define XSLVALIDATE_VERDICT_DOCUMENT_PROLOG_H_

#include <string_view>

enum class PrologKind {
  kEmpty,    // nothing but white space (or nothing at all)
  kDoctype,  // the prolog declares a DOCTYPE
  kOther,    // neither: some other fault, further on or in the prolog
};

// Reads the prolog at the start of `head` (the document's first bytes:
// UTF-8 with or without its byte order mark, or UTF-16 either way round):
// white space, the XML declaration, processing instructions and comments
// are passed over; a DOCTYPE declaration after them is kDoctype. `whole`
// says `head` is the whole document, so that white space alone is kEmpty.
PrologKind scanProlog(std::string_view head, bool whole);

#endif  // XSLVALIDATE_VERDICT_DOCUMENT_PROLOG_H_
