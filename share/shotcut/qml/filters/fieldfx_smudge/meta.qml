import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: qsTr('fieldfx Smudge')
    mlt_service: 'frei0r.fieldfx-smudge'
    objectName: 'fieldfx_smudge'
    qml: 'ui.qml'
}
