import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: qsTr('fieldfx Drunken')
    mlt_service: 'frei0r.fieldfx-drunken'
    objectName: 'fieldfx_drunken'
    qml: 'ui.qml'
}
