#pragma once

#include <QList>
#include <QSslCertificate>

#include <optional>

// What a TLS connection presents for a trust decision: the server's certificates and the
// certificates an evaluation may end at.
struct ServerTrust
{
    // As the server sent them: the leaf first, then the certificates that lead towards a root.
    QList<QSslCertificate> chain;
    // The only certificates trusted as chain ends. Unset: the system's CA certificates together
    // with those of QSslConfiguration::defaultConfiguration().
    std::optional<QList<QSslCertificate>> anchorCertificates;
};
