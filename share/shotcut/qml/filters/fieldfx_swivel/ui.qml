import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Shotcut.Controls 1.0 as Shotcut

// fieldfx Swivel: Rotates the picture; a fieldfx filter, rendered field by field
Item {
    property var defaultParameters: ['Angle', 'Edges', 'Background', 'Active X', 'Active Y', 'Active width', 'Active height', 'Field order', 'Pixel aspect', 'Frame rate']
    width: 350
    height: 360

    function setControls() {
        control0.value = filter.getDouble('Angle') * 90 + -45
        control1.currentIndex = Math.round(filter.getDouble('Edges') * 1)
        control2.value = filter.get('Background')
        control3.value = filter.getDouble('Active X') * 100 + 0
        control4.value = filter.getDouble('Active Y') * 100 + 0
        control5.value = filter.getDouble('Active width') * 100 + 0
        control6.value = filter.getDouble('Active height') * 100 + 0
        control7.currentIndex = Math.round(filter.getDouble('Field order') * 2)
        control8.value = filter.getDouble('Pixel aspect') * 2000 + 0
        control9.value = filter.getDouble('Frame rate') * 1000 + 0
    }

    Component.onCompleted: {
        if (filter.isNew) {
            filter.set('Angle', 0.5)
            filter.set('Edges', 0)
            filter.set('Background', '#000000')
            filter.set('Active X', 0)
            filter.set('Active Y', 0)
            filter.set('Active width', 1)
            filter.set('Active height', 1)
            filter.set('Field order', 0)
            filter.set('Pixel aspect', 0.5)
            filter.set('Frame rate', 0.025)
            filter.savePreset(defaultParameters)
        }
        setControls()
    }

    GridLayout {
        columns: 3
        anchors.fill: parent
        anchors.margins: 8

        Label { text: qsTr('Preset'); Layout.alignment: Qt.AlignRight }
        Shotcut.Preset {
            Layout.columnSpan: 2
            parameters: defaultParameters
            onPresetSelected: setControls()
        }
        Label { text: qsTr('Angle'); Layout.alignment: Qt.AlignRight }
        Shotcut.SliderSpinner { id: control0; minimumValue: -45; maximumValue: 45; decimals: 1; suffix: ' °'; Layout.fillWidth: true; onValueChanged: filter.set('Angle', (value - -45) / 90) }
        Shotcut.UndoButton { onClicked: control0.value = 0 }
        Label { text: qsTr('Edges'); Layout.alignment: Qt.AlignRight }
        Shotcut.ComboBox { id: control1; Layout.columnSpan: 2; Layout.fillWidth: true; model: ['Clamp', 'Border']; onActivated: filter.set('Edges', index / 1) }
        Label { text: qsTr('Background'); Layout.alignment: Qt.AlignRight }
        Shotcut.ColorPicker { id: control2; Layout.columnSpan: 2; onValueChanged: filter.set('Background', value) }
        Label { text: qsTr('Active X'); Layout.alignment: Qt.AlignRight }
        Shotcut.SliderSpinner { id: control3; minimumValue: 0; maximumValue: 100; decimals: 2; suffix: ' %'; Layout.fillWidth: true; onValueChanged: filter.set('Active X', (value - 0) / 100) }
        Shotcut.UndoButton { onClicked: control3.value = 0 }
        Label { text: qsTr('Active Y'); Layout.alignment: Qt.AlignRight }
        Shotcut.SliderSpinner { id: control4; minimumValue: 0; maximumValue: 100; decimals: 2; suffix: ' %'; Layout.fillWidth: true; onValueChanged: filter.set('Active Y', (value - 0) / 100) }
        Shotcut.UndoButton { onClicked: control4.value = 0 }
        Label { text: qsTr('Active width'); Layout.alignment: Qt.AlignRight }
        Shotcut.SliderSpinner { id: control5; minimumValue: 0; maximumValue: 100; decimals: 2; suffix: ' %'; Layout.fillWidth: true; onValueChanged: filter.set('Active width', (value - 0) / 100) }
        Shotcut.UndoButton { onClicked: control5.value = 100 }
        Label { text: qsTr('Active height'); Layout.alignment: Qt.AlignRight }
        Shotcut.SliderSpinner { id: control6; minimumValue: 0; maximumValue: 100; decimals: 2; suffix: ' %'; Layout.fillWidth: true; onValueChanged: filter.set('Active height', (value - 0) / 100) }
        Shotcut.UndoButton { onClicked: control6.value = 100 }
        Label { text: qsTr('Field order'); Layout.alignment: Qt.AlignRight }
        Shotcut.ComboBox { id: control7; Layout.columnSpan: 2; Layout.fillWidth: true; model: ['Top field first', 'Bottom field first', 'Progressive']; onActivated: filter.set('Field order', index / 2) }
        Label { text: qsTr('Pixel aspect'); Layout.alignment: Qt.AlignRight }
        Shotcut.SliderSpinner { id: control8; minimumValue: 0; maximumValue: 2000; decimals: 0; suffix: ' thousandths'; Layout.fillWidth: true; onValueChanged: filter.set('Pixel aspect', (value - 0) / 2000) }
        Shotcut.UndoButton { onClicked: control8.value = 1000 }
        Label { text: qsTr('Frame rate'); Layout.alignment: Qt.AlignRight }
        Shotcut.SliderSpinner { id: control9; minimumValue: 0; maximumValue: 1000; decimals: 2; suffix: ' frames per second'; Layout.fillWidth: true; onValueChanged: filter.set('Frame rate', (value - 0) / 1000) }
        Shotcut.UndoButton { onClicked: control9.value = 25 }
        Item { Layout.fillHeight: true }
    }
}
