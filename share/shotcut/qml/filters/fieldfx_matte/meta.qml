import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: qsTr('fieldfx Matte')
    mlt_service: 'frei0r.fieldfx-matte'
    objectName: 'fieldfx_matte'
    qml: 'ui.qml'
}
