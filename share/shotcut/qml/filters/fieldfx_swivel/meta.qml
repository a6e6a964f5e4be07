import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: qsTr('fieldfx Swivel')
    mlt_service: 'frei0r.fieldfx-swivel'
    objectName: 'fieldfx_swivel'
    qml: 'ui.qml'
}
