import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: qsTr('fieldfx Tunnel')
    mlt_service: 'frei0r.fieldfx-tunnel'
    objectName: 'fieldfx_tunnel'
    qml: 'ui.qml'
}
