#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

// The further addresses that every packet goes to besides the broadcast address of the local network:
// broadcast addresses of other subnets or single hosts, one IPv4 address a line.
struct ExtraAddressLines {
    // More would make one packet a burst of datagrams.
    static constexpr int MaxAddresses = 64;

    enum class Problem {
        // Not four decimal numbers of 0..255 separated by dots.
        NotAnAddress,
        // 0.0.0.0/8, multicast and reserved addresses: nothing could answer there.
        NotUsable,
        TooMany,
    };
    struct LineProblem {
        // 1 for the first line.
        int line = 0;
        QString text;
        Problem problem = Problem::NotAnAddress;
    };

    // Distinct addresses in the order of their lines.
    QList<QHostAddress> addresses;
    QList<LineProblem> problems;

    bool isValid() const { return problems.isEmpty(); }
};

// Blank lines and lines starting with '#' are skipped; blanks around an address are allowed; an
// address listed twice counts once.
ExtraAddressLines ParseExtraAddresses(const QString &text);
// A dotted quad of four decimal numbers 0..255, nothing else; null otherwise.
QHostAddress ParseDottedQuad(const QString &text);
