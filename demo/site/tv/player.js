var c = document.getElementById("bars").getContext("2d");
var colors = ["#c0c0c0","#c0c000","#00c0c0","#00c000","#c000c0","#c00000","#0000c0"];
for (var i = 0; i < colors.length; i++) { c.fillStyle = colors[i]; c.fillRect(i * 520 / 7, 0, 520 / 7 + 1, 220); }
c.fillStyle = "#202020"; c.fillRect(0, 220, 520, 80);
