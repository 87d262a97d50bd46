#pragma once

#include <QString>

// Texts that carry the reader's credentials: whatever deciphers with one of the program's own keys
// to the password, as the user hash of a login (account and password) and the password the
// favourites sync sends. Each place that works one out notes it here, and the URL session looks
// for them in the addresses it sends: a request that carries one is never kept by the URL cache,
// and never sent again behind the caller's back. Memory only; safe on any thread.
namespace CredentialTexts {

void note(const QString& text);
// Whether any noted text stands in the given text.
bool appearIn(const QString& text);

}  // namespace CredentialTexts
