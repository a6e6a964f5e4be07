import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: qsTr('fieldfx Widescreen')
    mlt_service: 'frei0r.fieldfx-widescreen'
    objectName: 'fieldfx_widescreen'
    qml: 'ui.qml'
}
