import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: qsTr('fieldfx Heatwave')
    mlt_service: 'frei0r.fieldfx-heatwave'
    objectName: 'fieldfx_heatwave'
    qml: 'ui.qml'
}
