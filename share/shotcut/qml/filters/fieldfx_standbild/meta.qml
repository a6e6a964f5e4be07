import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: qsTr('fieldfx Standbild')
    mlt_service: 'frei0r.fieldfx-standbild'
    objectName: 'fieldfx_standbild'
    qml: 'ui.qml'
}
