#pragma once

// A job's attributes as the test print scheduler holds them (link Cups).

#include <QByteArray>
#include <QMap>

#include <cups/cups.h>

namespace printqueue {

inline QMap<QByteArray, QByteArray> jobAttributes(int job)
{
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    const QByteArray uri = "ipp://localhost/jobs/" + QByteArray::number(job);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.constData());
    ipp_t *response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    QMap<QByteArray, QByteArray> attributes;
    for (ipp_attribute_t *a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        if (ippGetName(a) && ippGetGroupTag(a) == IPP_TAG_JOB) {
            char value[1024];
            ippAttributeString(a, value, sizeof value);
            attributes.insert(ippGetName(a), value);
        }
    }
    ippDelete(response);
    return attributes;
}

} // namespace printqueue
