<!DOCTYPE html>
<html>
<head>
<meta charset="gbk">
<title>天气预报</title>
<style>body{margin:2px 4px;font:12px sans-serif;color:#036;background:#fffef0}p{margin:0 0 2px 0}</style>
</head>
<body>
<p>上海 今天 晴 12~18℃</p>
<p>明天 多云 10~16℃ 东风3级</p>
<p>后天 小雨 9~14℃</p>
<p>空气质量 良</p>
<script>window.open("/tvtq/popup.htm");</script>
<a href="/tvtq/popup.htm" target="_blank">详情</a>
</body>
</html>
